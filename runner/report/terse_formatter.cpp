#include "runner/report/terse_formatter.hpp"

#include "runner/report/pretty_formatter.hpp"
#include "runner/report/report_text.hpp"
#include "tarnwick_base/expected.hpp"

namespace runner {
namespace {

// The progress mark follows every 87th result of a line (the column before this one), as the
// required report has it.
constexpr std::size_t QUIET_MODE_MAX_COLUMN = 88;

}  // namespace

TerseFormatter::TerseFormatter(std::unique_ptr<OutputLocation> out, bool use_color)
    : out_{std::move(out)}, use_color_{use_color} {}

IoResult TerseFormatter::write_progress() {
    std::string text = " ";
    text.append(std::to_string(results_written_)).append("/");
    text.append(std::to_string(planned_total_)).push_back('\n');
    line_column_ = 0;
    return write_text(*out_, text);
}

IoResult TerseFormatter::write_short_result(std::string_view mark, Color color) {
    TARNWICK_TRY(write_colored_word(*out_, mark, color, use_color_));
    ++results_written_;
    ++line_column_;
    if (line_column_ % QUIET_MODE_MAX_COLUMN == QUIET_MODE_MAX_COLUMN - 1) {
        return write_progress();
    }
    return {};
}

IoResult TerseFormatter::write_discovery_start() {
    return {};
}

IoResult TerseFormatter::write_test_discovered(const TestDesc& desc, std::string_view kind_word) {
    return write_text(*out_, discovered_text(desc, kind_word));
}

IoResult TerseFormatter::write_discovery_finish(const ConsoleTestDiscoveryState&) {
    return {};
}

IoResult TerseFormatter::write_run_start(std::size_t test_count,
                                         std::optional<std::uint64_t> shuffle_seed) {
    planned_total_ = test_count;
    return write_text(*out_, run_start_text(test_count, shuffle_seed));
}

IoResult TerseFormatter::write_test_start(const TestDesc&) {
    return {};
}

IoResult TerseFormatter::write_timeout(const TestDesc& desc) {
    return write_text(*out_, timeout_text(desc));
}

IoResult TerseFormatter::write_result(const TestDesc& desc, const TestResult& result,
                                      const std::optional<TestExecTime>&, std::string_view,
                                      const ConsoleTestState&) {
    if (std::holds_alternative<result::Passed>(result)) {
        return write_short_result(".", Color::Green);
    }
    if (std::holds_alternative<result::Ignored>(result)) {
        return write_short_result("i", Color::Yellow);
    }
    if (const auto* measured = std::get_if<result::Measured>(&result)) {
        // A measurement does not fit one character; it gets the pretty report's line.
        std::string line = "test ";
        line.append(desc.name).append(" ... ");
        TARNWICK_TRY(write_text(*out_, line));
        TARNWICK_TRY(write_colored_word(*out_, "bench", Color::Cyan, use_color_));
        return write_text(*out_, ": " + format_bench_samples(measured->samples) + "\n");
    }
    if (line_column_ != 0) {
        TARNWICK_TRY(write_progress());
    }
    ++results_written_;
    TARNWICK_TRY(write_text(*out_, desc.name + " --- "));
    TARNWICK_TRY(write_colored_word(*out_, "FAILED", Color::Red, use_color_));
    return write_text(*out_, "\n");
}

std::expected<bool, IoError> TerseFormatter::write_run_finish(const ConsoleTestState& state) {
    if (state.show_output) {
        TARNWICK_TRY(write_text(*out_, results_section_text(state.not_failures, "successes")));
    }
    const bool success = state.failed == 0;
    // Checks that failed only by their time limit are counted in the summary, not listed.
    if (!success) {
        TARNWICK_TRY(write_text(*out_, results_section_text(state.failures, "failures")));
    }
    TARNWICK_TRY(write_summary(*out_, state, use_color_));
    return success;
}

}  // namespace runner
