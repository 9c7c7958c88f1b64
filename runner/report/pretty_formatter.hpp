#pragma once

#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "runner/report/formatter.hpp"

namespace runner {

// The default report: one line per check and a summary.
class PrettyFormatter : public OutputFormatter {
  public:
    PrettyFormatter(std::unique_ptr<OutputLocation> out, bool use_color, bool is_multithreaded,
                    std::optional<TestTimeOptions> time_options);

    IoResult write_discovery_start() override;
    IoResult write_test_discovered(const TestDesc& desc, std::string_view kind_word) override;
    IoResult write_discovery_finish(const ConsoleTestDiscoveryState& state) override;

    IoResult write_run_start(std::size_t test_count,
                             std::optional<std::uint64_t> shuffle_seed) override;
    IoResult write_test_start(const TestDesc& desc) override;
    IoResult write_timeout(const TestDesc& desc) override;
    IoResult write_result(const TestDesc& desc, const TestResult& result,
                          const std::optional<TestExecTime>& exec_time,
                          std::string_view stdout_bytes, const ConsoleTestState& state) override;
    std::expected<bool, IoError> write_run_finish(const ConsoleTestState& state) override;

  private:
    IoResult write_plain(std::string_view text);
    IoResult write_colored(std::string_view word, Color color);
    IoResult write_test_name(const TestDesc& desc);
    IoResult write_outcome_word(const TestDesc& desc, const TestResult& result);
    IoResult write_time(const TestDesc& desc, const std::optional<TestExecTime>& exec_time);
    IoResult write_results(const std::vector<DescAndOutput>& listed, std::string_view title);

    std::unique_ptr<OutputLocation> out_;
    bool use_color_;
    bool is_multithreaded_;
    std::optional<TestTimeOptions> time_options_;
};

// "     1,234 ns/iter (+/- 56)": a benchmark's measurement.
std::string format_bench_samples(const BenchSamples& samples);

}  // namespace runner
