#include "runner/options/help.hpp"

#include <gtest/gtest.h>

namespace runner {
namespace {

// Laid out by hand from the option table: names and hint padded to column 24 (or a line break
// and 24 blanks when longer), help text lines after the first indented by 24 blanks, then the
// fixed closing text. Several lines end in blanks on purpose.
constexpr std::string_view EXPECTED_SCREEN = R"(Usage: prog [OPTIONS] [FILTERS...]

Options:
        --include-ignored 
                        Run ignored and not ignored tests
        --ignored       Run only ignored tests
        --force-run-in-process 
                        Forces tests to run in-process when panic=abort
        --exclude-should-panic 
                        Excludes tests marked as should_panic
        --test          Run tests and not benchmarks
        --bench         Run benchmarks instead of tests
        --list          List all tests and benchmarks
        --fail-fast     Don't start new tests after the first failure
    -h, --help          Display this message
        --logfile PATH  Write logs to the specified file (deprecated)
        --no-capture    don't capture stdout/stderr of each task, allow printing directly
        --test-threads n_threads
                        Number of threads used for running tests in parallel
        --skip FILTER   Skip tests whose names contain FILTER (this flag can be used multiple times)
    -q, --quiet         Display one character per test instead of one line. Alias to --format=terse
        --exact         Exactly match filters rather than by substring
        --color auto|always|never
                        Configure coloring of output:
                                    auto   = colorize if stdout is a tty and tests are run on serially (default);
                                    always = always colorize output;
                                    never  = never colorize output;
        --format pretty|terse|json|junit
                        Configure formatting of output:
                                    pretty = Print verbose output;
                                    terse  = Display one character per test;
                                    json   = Output a json document;
                                    junit  = Output a JUnit document
        --show-output   Show captured stdout of successful tests
    -Z unstable-options Enable nightly-only flags:
                                    unstable-options = Allow use of experimental features
        --report-time   Show execution time of each test.
                        
                                    Threshold values for colorized output can be configured via
                                    `ORRA_TEST_TIME_UNIT`, `ORRA_TEST_TIME_INTEGRATION` and
                                    `ORRA_TEST_TIME_DOCTEST` environment variables.
                        
                                    Expected format of environment variable is `VARIABLE=WARN_TIME,CRITICAL_TIME`.
                                    Durations must be specified in milliseconds, e.g. `500,2000` means that the warn time
                                    is 0.5 seconds, and the critical time is 2 seconds.
                        
                                    Not available for --format=terse
        --ensure-time   Treat excess of the test execution time limit as error.
                        
                                    Threshold values for this option can be configured via
                                    `ORRA_TEST_TIME_UNIT`, `ORRA_TEST_TIME_INTEGRATION` and
                                    `ORRA_TEST_TIME_DOCTEST` environment variables.
                        
                                    Expected format of environment variable is `VARIABLE=WARN_TIME,CRITICAL_TIME`.
                        
                                    `CRITICAL_TIME` here means the limit that should not be exceeded by test.
                                    
        --shuffle       Run tests in random order
        --shuffle-seed SEED
                        Run tests in random order; seed the random number generator with SEED


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

TEST(HelpText, ScreenIsLaidOutExactly) {
    const std::string text = help_text("prog", optgroups());
    ASSERT_GE(text.size(), EXPECTED_SCREEN.size());
    EXPECT_EQ(text.substr(0, EXPECTED_SCREEN.size()), EXPECTED_SCREEN);
}

TEST(HelpText, ClosesWithTheAttributesSection) {
    const std::string text = help_text("prog", optgroups());
    const std::string_view rest = std::string_view(text).substr(EXPECTED_SCREEN.size());
    EXPECT_TRUE(rest.starts_with("\nTest Attributes:\n\n")) << rest.substr(0, 40);
    EXPECT_TRUE(rest.ends_with(".\n"));
    for (const std::string_view word :
         {"StaticTestFn", "StaticBenchFn", "ShouldPanic::yes()", "ShouldPanic::with_text",
          "`ignore`", "ignore_message", "--ignored", "--include-ignored"}) {
        EXPECT_NE(rest.find(word), std::string_view::npos) << word;
    }
}

TEST(HelpText, ProgramNameIsTakenAsGiven) {
    EXPECT_TRUE(help_text("./build/bin/clothing_parity", optgroups())
                    .starts_with("Usage: ./build/bin/clothing_parity [OPTIONS] [FILTERS...]\n\n"));
}

TEST(HelpText, HiddenOptionIsLeftOut) {
    const std::string text = help_text("prog", optgroups());
    EXPECT_EQ(text.find("--nocapture"), std::string::npos);
    EXPECT_EQ(text.find("Deprecated, use"), std::string::npos);
}

TEST(HelpRow, LetterOnlyOptionWithLongHintWrapsToColumn24) {
    const OptGroup option{
        "x", "", "a-hint-of-twenty-chars", "Line one\nline two", HasArg::Yes, Occur::Once, true};
    EXPECT_EQ(help_row(option),
              "    -x a-hint-of-twenty-chars\n"
              "                        Line one\n"
              "                        line two");
}

}  // namespace
}  // namespace runner
