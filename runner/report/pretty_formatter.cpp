#include "runner/report/pretty_formatter.hpp"

#include <string>

#include "runner/check/outcome.hpp"
#include "runner/report/report_text.hpp"
#include "runner/report/time_display.hpp"
#include "tarnwick_base/expected.hpp"

namespace runner {
namespace {

std::string count_of(std::size_t count, std::string_view word) {
    std::string text = std::to_string(count);
    text.append(" ").append(word);
    if (count != 1) {
        text.push_back('s');
    }
    return text;
}

std::string with_thousands_separators(std::uint64_t value) {
    const std::string digits = std::to_string(value);
    std::string text;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i != 0 && (digits.size() - i) % 3 == 0) {
            text.push_back(',');
        }
        text.push_back(digits[i]);
    }
    return text;
}

}  // namespace

std::string format_bench_samples(const BenchSamples& samples) {
    std::string median = with_thousands_separators(static_cast<std::uint64_t>(samples.median_ns));
    std::string text(median.size() < 14 ? 14 - median.size() : 0, ' ');
    text.append(median).append(" ns/iter (+/- ");
    text.append(with_thousands_separators(static_cast<std::uint64_t>(samples.deviation_ns)));
    text.push_back(')');
    if (samples.mb_s != 0) {
        text.append(" = ").append(std::to_string(samples.mb_s)).append(" MB/s");
    }
    return text;
}

PrettyFormatter::PrettyFormatter(std::unique_ptr<OutputLocation> out, bool use_color,
                                 bool is_multithreaded, std::optional<TestTimeOptions> time_options)
    : out_{std::move(out)},
      use_color_{use_color},
      is_multithreaded_{is_multithreaded},
      time_options_{std::move(time_options)} {}

IoResult PrettyFormatter::write_plain(std::string_view text) {
    return write_text(*out_, text);
}

IoResult PrettyFormatter::write_colored(std::string_view word, Color color) {
    return write_colored_word(*out_, word, color, use_color_);
}

IoResult PrettyFormatter::write_test_name(const TestDesc& desc) {
    std::string text = "test ";
    text.append(desc.name);
    if (!desc.ignore && desc.should_panic.mode != ShouldPanic::Mode::No) {
        text.append(" - should panic");
    }
    text.append(" ... ");
    return write_plain(text);
}

IoResult PrettyFormatter::write_outcome_word(const TestDesc& desc, const TestResult& result) {
    if (std::holds_alternative<result::Passed>(result)) {
        return write_colored("ok", Color::Green);
    }
    if (std::holds_alternative<result::Failed>(result) ||
        std::holds_alternative<result::FailedWithMessage>(result)) {
        return write_colored("FAILED", Color::Red);
    }
    if (std::holds_alternative<result::FailedTimeLimit>(result)) {
        return write_colored("FAILED (time limit exceeded)", Color::Red);
    }
    if (const auto* measured = std::get_if<result::Measured>(&result)) {
        TARNWICK_TRY(write_colored("bench", Color::Cyan));
        return write_plain(": " + format_bench_samples(measured->samples));
    }
    TARNWICK_TRY(write_colored("ignored", Color::Yellow));
    return desc.ignore_message ? write_plain(", " + *desc.ignore_message) : IoResult{};
}

IoResult PrettyFormatter::write_time(const TestDesc& desc,
                                     const std::optional<TestExecTime>& exec_time) {
    if (!time_options_ || !exec_time) {
        return {};
    }
    const std::string text = " <" + display(*exec_time) + ">";
    const TimeThreshold& limits = time_threshold(*time_options_, desc.test_kind);
    if (exec_time->duration >= limits.critical) {
        return write_colored(text, Color::Red);
    }
    if (exec_time->duration >= limits.warn) {
        return write_colored(text, Color::Yellow);
    }
    return write_plain(text);
}

IoResult PrettyFormatter::write_results(const std::vector<DescAndOutput>& listed,
                                        std::string_view title) {
    return write_plain(results_section_text(listed, title));
}

IoResult PrettyFormatter::write_discovery_start() {
    return {};
}

IoResult PrettyFormatter::write_test_discovered(const TestDesc& desc, std::string_view kind_word) {
    return write_plain(discovered_text(desc, kind_word));
}

IoResult PrettyFormatter::write_discovery_finish(const ConsoleTestDiscoveryState& state) {
    std::string text = state.tests + state.benchmarks != 0 ? "\n" : "";
    text.append(count_of(state.tests, "test")).append(", ");
    text.append(count_of(state.benchmarks, "benchmark")).push_back('\n');
    return write_plain(text);
}

IoResult PrettyFormatter::write_run_start(std::size_t test_count,
                                          std::optional<std::uint64_t> shuffle_seed) {
    return write_plain(run_start_text(test_count, shuffle_seed));
}

IoResult PrettyFormatter::write_test_start(const TestDesc& desc) {
    // A multi-threaded run writes each line whole once the check is done.
    return is_multithreaded_ ? IoResult{} : write_test_name(desc);
}

IoResult PrettyFormatter::write_timeout(const TestDesc& desc) {
    return write_plain(timeout_text(desc));
}

IoResult PrettyFormatter::write_result(const TestDesc& desc, const TestResult& result,
                                       const std::optional<TestExecTime>& exec_time,
                                       std::string_view, const ConsoleTestState&) {
    if (is_multithreaded_) {
        TARNWICK_TRY(write_test_name(desc));
    }
    TARNWICK_TRY(write_outcome_word(desc, result));
    TARNWICK_TRY(write_time(desc, exec_time));
    return write_plain("\n");
}

std::expected<bool, IoError> PrettyFormatter::write_run_finish(const ConsoleTestState& state) {
    if (state.show_output) {
        TARNWICK_TRY(write_results(state.not_failures, "successes"));
    }
    const bool success = state.failed == 0;
    // Any failure writes the failures section, even an empty one when every failure was a time
    // limit.
    if (!success) {
        TARNWICK_TRY(write_results(state.failures, "failures"));
    }
    if (!success && !state.time_failures.empty()) {
        TARNWICK_TRY(write_results(state.time_failures, "failures (time limit exceeded)"));
    }
    TARNWICK_TRY(write_summary(*out_, state, use_color_));
    // A run of one ignored check names why it was ignored.
    if (state.ignored == 1 && state.total == 1 && !state.ignores.empty()) {
        const TestDesc& only = state.ignores.front().first;
        if (only.ignore_message) {
            std::string note = "test: ";
            note.append(only.name).append(", ignore_message: ");
            note.append(*only.ignore_message).append("\n\n");
            TARNWICK_TRY(write_plain(note));
        }
    }
    return success;
}

}  // namespace runner
