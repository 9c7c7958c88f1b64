#include "runner/options/help.hpp"

namespace runner {
namespace {

constexpr std::size_t DESC_COLUMN = 24;

constexpr std::string_view CLOSING_TEXT = R"(

The FILTER string is tested against the name of all tests, and only those
tests whose names contain the filter are run. Multiple filter strings may
be passed, which will run all tests matching any of the filters.

By default, all tests are run in parallel. This can be altered with the
--test-threads flag when running tests (set it to 1).

By default, the tests are run in alphabetical order. Use --shuffle to run
the tests in random order. Pass the generated "shuffle seed" to
--shuffle-seed to run the tests in the same order again. Note that
--shuffle and --shuffle-seed do not affect whether the tests are run in
parallel.

All tests have their standard output and standard error captured by default.
This can be overridden with the --no-capture flag to a value other than "0".
Logging is not captured by default.
)";

constexpr std::string_view ATTRIBUTES_TEXT = R"(
Test Attributes:

    A check is an entry of the registry (`TestDescAndFn`) whose function is a
    `StaticTestFn`: it takes nothing and gives success or an error text.

    A benchmark is an entry whose function is a `StaticBenchFn`: it receives a
    `Bencher` and is measured with --bench; otherwise it runs once as a check.

    A check that must end in failure sets `should_panic` to `ShouldPanic::yes()`,
    or to `ShouldPanic::with_text(TEXT)` when the failure message must also
    contain TEXT; it passes only when it fails that way.

    An ignored check sets `ignore` to true, optionally with an `ignore_message`
    saying why; it runs only with --ignored or --include-ignored.
)";

void append_names(std::string& row, const OptGroup& option) {
    if (option.short_name.empty()) {
        row.append("    ");
    } else {
        row.append("-").append(option.short_name);
        row.append(option.long_name.empty() ? " " : ", ");
    }
    if (!option.long_name.empty()) {
        row.append("--").append(option.long_name).append(" ");
    }
    if (option.hasarg == HasArg::Yes) {
        row.append(option.hint);
    }
}

}  // namespace

std::string help_row(const OptGroup& option) {
    const std::string desc_separator = "\n" + std::string(DESC_COLUMN, ' ');
    std::string row = "    ";
    append_names(row, option);
    if (row.size() < DESC_COLUMN) {
        row.append(DESC_COLUMN - row.size(), ' ');
    } else {
        row.append(desc_separator);
    }
    std::string_view desc = option.desc;
    for (std::size_t line_break; (line_break = desc.find('\n')) != std::string_view::npos;) {
        row.append(desc.substr(0, line_break)).append(desc_separator);
        desc.remove_prefix(line_break + 1);
    }
    row.append(desc);
    return row;
}

std::string help_text(std::string_view program_name, std::span<const OptGroup> options) {
    std::string text = "Usage: ";
    text.append(program_name).append(" [OPTIONS] [FILTERS...]\n\nOptions:\n");
    for (const auto& option : options) {
        if (option.in_help) {
            text.append(help_row(option)).append("\n");
        }
    }
    text.append(CLOSING_TEXT).append(ATTRIBUTES_TEXT);
    return text;
}

}  // namespace runner
