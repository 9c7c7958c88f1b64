#pragma once

#include <optional>
#include <string>

#include "runner/test_result.hpp"
#include "runner/types.hpp"

namespace runner {

// What a check's body ended with when it did not end normally.
struct FailurePayload {
    std::optional<std::string> message;  // nothing when the thrown value carries no text
    std::string type_name;               // identifies the thrown value's type
};

// Nothing: the body ended normally and its entry gave success.
using BodyOutcome = std::optional<FailurePayload>;

const TimeThreshold& time_threshold(const TestTimeOptions& options, TestKind kind);

// The outcome rules: the result of a check from its should-fail setting, how its body ended and,
// with --ensure-time, its time.
TestResult calc_result(const TestDesc& desc, const BodyOutcome& outcome,
                       const std::optional<TestTimeOptions>& time_options,
                       const std::optional<TestExecTime>& exec_time);

}  // namespace runner
