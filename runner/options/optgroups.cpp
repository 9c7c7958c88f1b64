#include "runner/options/optgroups.hpp"

#include <array>

namespace runner {
namespace {

constexpr OptGroup flag(std::string_view short_name, std::string_view long_name,
                        std::string_view desc) {
    return {short_name, long_name, "", desc, HasArg::No, Occur::Once, true};
}

constexpr OptGroup value(std::string_view short_name, std::string_view long_name,
                         std::string_view hint, std::string_view desc, Occur occur = Occur::Once) {
    return {short_name, long_name, hint, desc, HasArg::Yes, occur, true};
}

constexpr OptGroup hidden_flag(std::string_view long_name, std::string_view desc) {
    return {"", long_name, "", desc, HasArg::No, Occur::Once, false};
}

constexpr std::string_view COLOR_HELP =
    "Configure coloring of output:\n"
    "            auto   = colorize if stdout is a tty and tests are run on serially (default);\n"
    "            always = always colorize output;\n"
    "            never  = never colorize output;";

constexpr std::string_view FORMAT_HELP =
    "Configure formatting of output:\n"
    "            pretty = Print verbose output;\n"
    "            terse  = Display one character per test;\n"
    "            json   = Output a json document;\n"
    "            junit  = Output a JUnit document";

constexpr std::string_view UNSTABLE_HELP =
    "Enable nightly-only flags:\n"
    "            unstable-options = Allow use of experimental features";

constexpr std::string_view REPORT_TIME_HELP =
    "Show execution time of each test.\n"
    "\n"
    "            Threshold values for colorized output can be configured via\n"
    "            `ORRA_TEST_TIME_UNIT`, `ORRA_TEST_TIME_INTEGRATION` and\n"
    "            `ORRA_TEST_TIME_DOCTEST` environment variables.\n"
    "\n"
    "            Expected format of environment variable is "
    "`VARIABLE=WARN_TIME,CRITICAL_TIME`.\n"
    "            Durations must be specified in milliseconds, e.g. `500,2000` means that the "
    "warn time\n"
    "            is 0.5 seconds, and the critical time is 2 seconds.\n"
    "\n"
    "            Not available for --format=terse";

constexpr std::string_view ENSURE_TIME_HELP =
    "Treat excess of the test execution time limit as error.\n"
    "\n"
    "            Threshold values for this option can be configured via\n"
    "            `ORRA_TEST_TIME_UNIT`, `ORRA_TEST_TIME_INTEGRATION` and\n"
    "            `ORRA_TEST_TIME_DOCTEST` environment variables.\n"
    "\n"
    "            Expected format of environment variable is "
    "`VARIABLE=WARN_TIME,CRITICAL_TIME`.\n"
    "\n"
    "            `CRITICAL_TIME` here means the limit that should not be exceeded by test.\n"
    "            ";

constexpr std::array OPTGROUPS{
    flag("", "include-ignored", "Run ignored and not ignored tests"),
    flag("", "ignored", "Run only ignored tests"),
    flag("", "force-run-in-process", "Forces tests to run in-process when panic=abort"),
    flag("", "exclude-should-panic", "Excludes tests marked as should_panic"),
    flag("", "test", "Run tests and not benchmarks"),
    flag("", "bench", "Run benchmarks instead of tests"),
    flag("", "list", "List all tests and benchmarks"),
    flag("", "fail-fast", "Don't start new tests after the first failure"),
    flag("h", "help", "Display this message"),
    value("", "logfile", "PATH", "Write logs to the specified file (deprecated)"),
    flag("", "no-capture", "don't capture stdout/stderr of each task, allow printing directly"),
    hidden_flag("nocapture", "Deprecated, use `--no-capture`"),
    value("", "test-threads", "n_threads", "Number of threads used for running tests in parallel"),
    value("", "skip", "FILTER",
          "Skip tests whose names contain FILTER (this flag can be used multiple times)",
          Occur::Multi),
    flag("q", "quiet",
         "Display one character per test instead of one line. Alias to --format=terse"),
    flag("", "exact", "Exactly match filters rather than by substring"),
    value("", "color", "auto|always|never", COLOR_HELP),
    value("", "format", "pretty|terse|json|junit", FORMAT_HELP),
    flag("", "show-output", "Show captured stdout of successful tests"),
    value("Z", "", "unstable-options", UNSTABLE_HELP),
    flag("", "report-time", REPORT_TIME_HELP),
    flag("", "ensure-time", ENSURE_TIME_HELP),
    flag("", "shuffle", "Run tests in random order"),
    value("", "shuffle-seed", "SEED",
          "Run tests in random order; seed the random number generator with SEED"),
};

}  // namespace

std::span<const OptGroup> optgroups() {
    return OPTGROUPS;
}

}  // namespace runner
