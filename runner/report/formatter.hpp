#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <string_view>

#include "runner/report/console_state.hpp"
#include "runner/terminal/output.hpp"
#include "runner/test_result.hpp"
#include "runner/types.hpp"

namespace runner {

// One report format: turns the run's events and the listing into text.
class OutputFormatter {
  public:
    virtual ~OutputFormatter() = default;

    virtual IoResult write_discovery_start() = 0;
    virtual IoResult write_test_discovered(const TestDesc& desc, std::string_view kind_word) = 0;
    virtual IoResult write_discovery_finish(const ConsoleTestDiscoveryState& state) = 0;

    virtual IoResult write_run_start(std::size_t test_count,
                                     std::optional<std::uint64_t> shuffle_seed) = 0;
    virtual IoResult write_test_start(const TestDesc& desc) = 0;
    virtual IoResult write_timeout(const TestDesc& desc) = 0;
    virtual IoResult write_result(const TestDesc& desc, const TestResult& result,
                                  const std::optional<TestExecTime>& exec_time,
                                  std::string_view stdout_bytes, const ConsoleTestState& state) = 0;
    // The verdict: true when no check failed.
    virtual std::expected<bool, IoError> write_run_finish(const ConsoleTestState& state) = 0;
};

}  // namespace runner
