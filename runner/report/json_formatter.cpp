#include "runner/report/json_formatter.hpp"

#include <string>

#include "runner/report/escaped_string.hpp"
#include "runner/report/plain_seconds.hpp"
#include "tarnwick_base/expected.hpp"

namespace runner {
namespace {

// `, "key": "value"` with the value escaped.
void append_string_field(std::string& line, std::string_view key, std::string_view value) {
    line.append(", \"").append(key).append("\": \"");
    EscapedString{value}.append_to(line);
    line.push_back('"');
}

void append_raw_field(std::string& line, std::string_view key, std::string_view value) {
    line.append(", \"").append(key).append("\": ").append(value);
}

std::string test_event_line(std::string_view event, const TestDesc& desc) {
    std::string line = R"({ "type": "test", "event": ")";
    line.append(event).push_back('"');
    append_string_field(line, "name", desc.name);
    return line.append(" }");
}

std::string bench_line(const TestDesc& desc, const BenchSamples& samples) {
    std::string line = R"({ "type": "bench")";
    append_string_field(line, "name", desc.name);
    append_raw_field(line, "median", std::to_string(static_cast<std::uint64_t>(samples.median_ns)));
    append_raw_field(line, "deviation",
                     std::to_string(static_cast<std::uint64_t>(samples.deviation_ns)));
    if (samples.mb_s != 0) {
        append_raw_field(line, "mib_per_second", std::to_string(samples.mb_s));
    }
    return line.append(" }");
}

std::string_view outcome_word(const TestResult& result) {
    if (std::holds_alternative<result::Passed>(result)) {
        return "ok";
    }
    return std::holds_alternative<result::Ignored>(result) ? "ignored" : "failed";
}

std::string outcome_line(const TestDesc& desc, const TestResult& result,
                         const std::optional<TestExecTime>& exec_time,
                         std::string_view stdout_bytes, bool show_output) {
    std::string line = R"({ "type": "test")";
    append_string_field(line, "name", desc.name);
    append_string_field(line, "event", outcome_word(result));
    if (exec_time) {
        append_raw_field(line, "exec_time", plain_seconds(exec_time->duration));
    }
    const bool passed = std::holds_alternative<result::Passed>(result);
    if (!stdout_bytes.empty() && (!passed || show_output)) {
        append_string_field(line, "stdout", stdout_bytes);
    }
    if (const auto* failed = std::get_if<result::FailedWithMessage>(&result)) {
        append_string_field(line, "message", failed->message);
    } else if (std::holds_alternative<result::Ignored>(result) && desc.ignore_message) {
        append_string_field(line, "message", *desc.ignore_message);
    } else if (std::holds_alternative<result::FailedTimeLimit>(result)) {
        append_string_field(line, "reason", "time limit exceeded");
    }
    return line.append(" }");
}

}  // namespace

JsonFormatter::JsonFormatter(std::unique_ptr<OutputLocation> out) : out_{std::move(out)} {}

IoResult JsonFormatter::write_line(std::string line) {
    line.push_back('\n');
    TARNWICK_TRY(out_->write(line));
    return out_->flush();
}

IoResult JsonFormatter::write_discovery_start() {
    return write_line(R"({ "type": "suite", "event": "discovery" })");
}

IoResult JsonFormatter::write_test_discovered(const TestDesc& desc, std::string_view kind_word) {
    std::string line = R"({ "type": ")";
    EscapedString{kind_word}.append_to(line);
    line.append(R"(", "event": "discovered")");
    append_string_field(line, "name", desc.name);
    append_raw_field(line, "ignore", desc.ignore ? "true" : "false");
    append_string_field(line, "ignore_message", desc.ignore_message.value_or(""));
    append_string_field(line, "source_path", desc.source_path);
    append_raw_field(line, "start_line", std::to_string(desc.start_line));
    append_raw_field(line, "start_col", std::to_string(desc.start_col));
    append_raw_field(line, "end_line", std::to_string(desc.end_line));
    append_raw_field(line, "end_col", std::to_string(desc.end_col));
    return write_line(line.append(" }"));
}

IoResult JsonFormatter::write_discovery_finish(const ConsoleTestDiscoveryState& state) {
    std::string line = R"({ "type": "suite", "event": "completed")";
    append_raw_field(line, "tests", std::to_string(state.tests));
    append_raw_field(line, "benchmarks", std::to_string(state.benchmarks));
    append_raw_field(line, "total", std::to_string(state.tests + state.benchmarks));
    append_raw_field(line, "ignored", std::to_string(state.ignored));
    return write_line(line.append(" }"));
}

IoResult JsonFormatter::write_run_start(std::size_t test_count,
                                        std::optional<std::uint64_t> shuffle_seed) {
    std::string line = R"({ "type": "suite", "event": "started")";
    append_raw_field(line, "test_count", std::to_string(test_count));
    if (shuffle_seed) {
        append_raw_field(line, "shuffle_seed", std::to_string(*shuffle_seed));
    }
    return write_line(line.append(" }"));
}

IoResult JsonFormatter::write_test_start(const TestDesc& desc) {
    return write_line(test_event_line("started", desc));
}

IoResult JsonFormatter::write_timeout(const TestDesc& desc) {
    return write_line(test_event_line("timeout", desc));
}

IoResult JsonFormatter::write_result(const TestDesc& desc, const TestResult& result,
                                     const std::optional<TestExecTime>& exec_time,
                                     std::string_view stdout_bytes, const ConsoleTestState& state) {
    if (const auto* measured = std::get_if<result::Measured>(&result)) {
        return write_line(bench_line(desc, measured->samples));
    }
    return write_line(outcome_line(desc, result, exec_time, stdout_bytes, state.show_output));
}

std::expected<bool, IoError> JsonFormatter::write_run_finish(const ConsoleTestState& state) {
    const bool success = state.failed == 0;
    std::string line = R"({ "type": "suite")";
    append_string_field(line, "event", success ? "ok" : "failed");
    append_raw_field(line, "passed", std::to_string(state.passed));
    append_raw_field(line, "failed", std::to_string(state.failed));
    append_raw_field(line, "ignored", std::to_string(state.ignored));
    append_raw_field(line, "measured", std::to_string(state.measured));
    append_raw_field(line, "filtered_out", std::to_string(state.filtered_out));
    if (state.exec_time) {
        append_raw_field(line, "exec_time", plain_seconds(state.exec_time->duration));
    }
    TARNWICK_TRY(write_line(line.append(" }")));
    return success;
}

}  // namespace runner
