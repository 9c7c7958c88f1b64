#pragma once

#include <memory>

#include "runner/report/formatter.hpp"

namespace runner {

// One JSON object per line for every event and every listed entry.
class JsonFormatter final : public OutputFormatter {
  public:
    explicit JsonFormatter(std::unique_ptr<OutputLocation> out);

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
    IoResult write_line(std::string line);

    std::unique_ptr<OutputLocation> out_;
};

}  // namespace runner
