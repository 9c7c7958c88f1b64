#include "runner/check/outcome.hpp"

#include "tarnwick_base/text.hpp"

namespace runner {
namespace {

using tarnwick_base::debug_quoted;

TestResult should_panic_result(const TestDesc& desc, const FailurePayload& payload) {
    const ShouldPanic& should_panic = desc.should_panic;
    if (should_panic.mode == ShouldPanic::Mode::Yes) {
        return result::Passed{};
    }
    if (!payload.message) {
        std::string text = "expected panic with string value,\n found non-string value: `";
        text.append(payload.type_name).append("`\n     expected substring: ");
        text.append(debug_quoted(should_panic.expected));
        return result::FailedWithMessage{std::move(text)};
    }
    if (payload.message->find(should_panic.expected) != std::string::npos) {
        return result::Passed{};
    }
    std::string text = "panic did not contain expected string\n      panic message: ";
    text.append(debug_quoted(*payload.message)).append("\n expected substring: ");
    text.append(debug_quoted(should_panic.expected));
    return result::FailedWithMessage{std::move(text)};
}

TestResult did_not_panic(const TestDesc& desc) {
    std::string text = "test did not panic as expected";
    if (!desc.source_path.empty()) {
        text.append(" at ").append(desc.source_path).push_back(':');
        text.append(std::to_string(desc.start_line)).push_back(':');
        text.append(std::to_string(desc.start_col));
    }
    return result::FailedWithMessage{std::move(text)};
}

TestResult body_result(const TestDesc& desc, const BodyOutcome& outcome) {
    const bool expects_failure = desc.should_panic.mode != ShouldPanic::Mode::No;
    if (!outcome) {
        return expects_failure ? did_not_panic(desc) : TestResult{result::Passed{}};
    }
    return expects_failure ? should_panic_result(desc, *outcome) : TestResult{result::Failed{}};
}

}  // namespace

const TimeThreshold& time_threshold(const TestTimeOptions& options, TestKind kind) {
    switch (kind) {
        case TestKind::Unit:
            return options.unit_threshold;
        case TestKind::Integration:
            return options.integration_threshold;
        case TestKind::DocTest:
            return options.doctest_threshold;
        case TestKind::Unknown:
            break;
    }
    return options.unknown_threshold;
}

TestResult calc_result(const TestDesc& desc, const BodyOutcome& outcome,
                       const std::optional<TestTimeOptions>& time_options,
                       const std::optional<TestExecTime>& exec_time) {
    TestResult result = body_result(desc, outcome);
    if (std::holds_alternative<result::Passed>(result) && time_options &&
        time_options->error_on_excess && exec_time &&
        exec_time->duration >= time_threshold(*time_options, desc.test_kind).critical) {
        return result::FailedTimeLimit{};
    }
    return result;
}

}  // namespace runner
