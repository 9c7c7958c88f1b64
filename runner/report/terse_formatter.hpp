#pragma once

#include <cstddef>
#include <memory>

#include "runner/report/formatter.hpp"

namespace runner {

// One character per check, lines of 87 results closed by the progress so far.
class TerseFormatter final : public OutputFormatter {
  public:
    TerseFormatter(std::unique_ptr<OutputLocation> out, bool use_color);

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
    IoResult write_short_result(std::string_view mark, Color color);
    IoResult write_progress();

    std::unique_ptr<OutputLocation> out_;
    bool use_color_;
    std::size_t results_written_ = 0;
    std::size_t line_column_ = 0;
    std::size_t planned_total_ = 0;
};

}  // namespace runner
