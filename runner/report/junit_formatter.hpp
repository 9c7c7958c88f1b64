#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "runner/report/formatter.hpp"

namespace runner {

// The junit class and case of a check, by its kind.
struct JunitClassName {
    std::string class_name;
    std::string case_name;
};
JunitClassName parse_class_name(const TestDesc& desc);

// The text as CDATA sections, line feeds and "]]>" written outside them.
std::string str_to_cdata(std::string_view text);

// One XML document on one line, written at the end of the run. Listing is the pretty listing's
// business (the formatter factory chooses it), so the discovery calls write nothing.
class JunitFormatter final : public OutputFormatter {
  public:
    explicit JunitFormatter(std::unique_ptr<OutputLocation> out);

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
    struct KeptResult {
        TestDesc desc;
        TestResult result;
        std::chrono::nanoseconds duration;
        std::string stdout_bytes;
    };

    IoResult write(std::string_view text);

    std::unique_ptr<OutputLocation> out_;
    std::vector<KeptResult> results_;
};

}  // namespace runner
