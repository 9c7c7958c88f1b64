#include "runner/report/terse_formatter.hpp"

#include "runner/report/pretty_formatter.hpp"
#include "runner/report/report_text.hpp"

namespace runner {
namespace {

// A line holds this many results before its progress mark.
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
    if (auto written = write_colored_word(*out_, mark, color, use_color_); !written) {
        return written;
    }
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
        if (auto written = write_text(*out_, line); !written) {
            return written;
        }
        if (auto written = write_colored_word(*out_, "bench", Color::Cyan, use_color_); !written) {
            return written;
        }
        return write_text(*out_, ": " + format_bench_samples(measured->samples) + "\n");
    }
    if (line_column_ != 0) {
        if (auto written = write_progress(); !written) {
            return written;
        }
    }
    ++results_written_;
    if (auto written = write_text(*out_, desc.name + " --- "); !written) {
        return written;
    }
    if (auto written = write_colored_word(*out_, "FAILED", Color::Red, use_color_); !written) {
        return written;
    }
    return write_text(*out_, "\n");
}

std::expected<bool, IoError> TerseFormatter::write_run_finish(const ConsoleTestState& state) {
    if (state.show_output) {
        if (auto written = write_text(*out_, results_section_text(state.not_failures, "successes"));
            !written) {
            return std::unexpected{written.error()};
        }
    }
    const bool success = state.failed == 0;
    // Checks that failed only by their time limit are counted in the summary, not listed.
    if (!success) {
        if (auto written = write_text(*out_, results_section_text(state.failures, "failures"));
            !written) {
            return std::unexpected{written.error()};
        }
    }
    if (auto written = write_summary(*out_, state, use_color_); !written) {
        return std::unexpected{written.error()};
    }
    return success;
}

}  // namespace runner
