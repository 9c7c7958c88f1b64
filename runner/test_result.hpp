#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <variant>

#include "runner/types.hpp"

namespace runner {

// A benchmark's measurement, in nanoseconds per iteration.
struct BenchSamples {
    double sum_ns = 0;
    double median_ns = 0;
    double deviation_ns = 0;  // max minus min of the samples
    std::uint64_t mb_s = 0;
};

namespace result {
struct Passed {};
struct Failed {};
struct FailedWithMessage {
    std::string message;
};
struct Ignored {};
struct Measured {
    BenchSamples samples;
};
struct FailedTimeLimit {};
}  // namespace result

using TestResult = std::variant<result::Passed, result::Failed, result::FailedWithMessage,
                                result::Ignored, result::Measured, result::FailedTimeLimit>;

inline bool is_failure(const TestResult& r) {
    return std::holds_alternative<result::Failed>(r) ||
           std::holds_alternative<result::FailedWithMessage>(r) ||
           std::holds_alternative<result::FailedTimeLimit>(r);
}

// One check's duration; shown with three decimals ("0.012s").
struct TestExecTime {
    std::chrono::nanoseconds duration;
};

// The whole run's duration; shown with two decimals ("0.35s").
struct TestSuiteExecTime {
    std::chrono::nanoseconds duration;
};

using TestId = std::size_t;

// What a worker sends back when its check has finished.
struct CompletedTest {
    TestId id;
    TestDesc desc;
    TestResult result;
    std::optional<TestExecTime> exec_time;
    std::string stdout_bytes;  // captured output, raw bytes
};

}  // namespace runner
