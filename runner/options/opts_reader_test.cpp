#include "runner/options/opts_reader.hpp"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "runner/test_support/test_helpers.hpp"
#include "tarnwick_base/test_support/param_name.hpp"

namespace runner {
namespace {

using Env = std::map<std::string, std::string, std::less<>>;
using testing::fake_env;

const Env NIGHTLY{{"ORRAC_BOOTSTRAP", "1"}};

struct Reading {
    std::expected<std::optional<TestOpts>, OptsFailure> result;
    std::string out;
    std::string err;
};

Reading read(std::vector<std::string> args, Env env = {}) {
    args.insert(args.begin(), "prog");
    std::ostringstream out;
    std::ostringstream err;
    auto result = read_opts(args, fake_env(std::move(env)), out, err);
    return {std::move(result), out.str(), err.str()};
}

TestOpts read_ok(std::vector<std::string> args, Env env = {}) {
    auto reading = read(std::move(args), std::move(env));
    if (!reading.result) {
        ADD_FAILURE() << "unexpected failure";
        return {};
    }
    if (!*reading.result) {
        ADD_FAILURE() << "unexpected help";
        return {};
    }
    return **reading.result;
}

Env with(Env env, std::string name, std::string value) {
    env[std::move(name)] = std::move(value);
    return env;
}

struct FailureCase {
    std::vector<std::string> args;
    std::string expected;
    Env env = {};
};

// The case's arguments and variables, as its test name.
std::string case_name(const ::testing::TestParamInfo<FailureCase>& info) {
    std::string words;
    for (const std::string& arg : info.param.args) {
        words.append(arg).append(" ");
    }
    for (const auto& [name, value] : info.param.env) {
        words.append(name).append(" ").append(value).append(" ");
    }
    return tarnwick_base::test_support::param_name(words);
}

// The refusal of an unstable flag (or option, or format) without the allowance.
std::string nightly_only(std::string_view what, std::string_view kind = "flag") {
    return "The \"" + std::string{what} + "\" " + std::string{kind} +
           " is only accepted on the nightly compiler with -Z unstable-options";
}

// The refusal of a number option's value, with the cause the number parser gives.
std::string bad_threads(std::string_view cause) {
    return "argument for --test-threads must be a number > 0 (error: " + std::string{cause} + ")";
}
std::string bad_seed(std::string_view cause) {
    return "argument for --shuffle-seed must be a number (error: " + std::string{cause} + ")";
}

class OptionErrorTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(OptionErrorTest, GivesTheTextAndWritesNothing) {
    const auto& c = GetParam();
    const auto reading = read(c.args, c.env);
    ASSERT_FALSE(reading.result.has_value());
    const auto* error = std::get_if<OptionError>(&reading.result.error());
    ASSERT_NE(error, nullptr) << "not an option error";
    EXPECT_EQ(error->text, c.expected);
    EXPECT_EQ(reading.out, "");
}

INSTANTIATE_TEST_SUITE_P(
    ParseErrors, OptionErrorTest,
    ::testing::Values(FailureCase{{"--frobnicate"}, "Unrecognized option: 'frobnicate'"},
                      FailureCase{{"--frob=1"}, "Unrecognized option: 'frob'"},
                      FailureCase{{"-x"}, "Unrecognized option: 'x'"},
                      FailureCase{{"-qx"}, "Unrecognized option: 'x'"},
                      FailureCase{{"-q\xc3\xa9"}, "Unrecognized option: '\xc3\xa9'"},
                      FailureCase{{"-\xffqqqq"}, "Unrecognized option: '\xff'"},
                      FailureCase{{"-q\xe2\x82q"}, "Unrecognized option: '\xe2'"},
                      FailureCase{{"---list"}, "Unrecognized option: '-list'"},
                      FailureCase{{"--logfile"}, "Argument to option 'logfile' missing"},
                      FailureCase{{"-Z"}, "Argument to option 'Z' missing"},
                      FailureCase{{"--list=yes"}, "Option 'list' does not take an argument"},
                      FailureCase{{"--list", "--list"}, "Option 'list' given more than once"},
                      FailureCase{{"-q", "--quiet"}, "Option 'quiet' given more than once"},
                      FailureCase{{"-qq"}, "Option 'quiet' given more than once"},
                      FailureCase{{"--color=auto", "--color", "never"},
                                  "Option 'color' given more than once"},
                      // Every argument is read before repeats are judged.
                      FailureCase{{"--list", "--list", "--bogus"}, "Unrecognized option: 'bogus'"}),
    case_name);

INSTANTIATE_TEST_SUITE_P(
    ValueErrors, OptionErrorTest,
    ::testing::Values(
        FailureCase{{"-Z", "unstable-options"},
                    "the option `Z` is only accepted on the nightly compiler"},
        FailureCase{{"-Zunstable"}, "Unrecognized option to `Z`", NIGHTLY},
        FailureCase{{"--force-run-in-process"}, nightly_only("force-run-in-process")},
        FailureCase{{"--exclude-should-panic"}, nightly_only("exclude-should-panic")},
        FailureCase{{"--fail-fast"}, nightly_only("fail-fast")},
        FailureCase{{"--report-time"}, nightly_only("report-time")},
        FailureCase{{"--ensure-time"}, nightly_only("ensure-time")},
        FailureCase{{"--shuffle"}, nightly_only("shuffle")},
        // The flags are judged in a fixed order, not in the order given.
        FailureCase{{"--shuffle", "--fail-fast"}, nightly_only("fail-fast")},
        FailureCase{{"--shuffle-seed", "1"}, nightly_only("shuffle-seed", "option")},
        FailureCase{{"-Zunstable-options", "--shuffle-seed=x1"},
                    bad_seed("invalid digit found in string"),
                    NIGHTLY},
        FailureCase{{"-Zunstable-options", "--shuffle-seed="},
                    bad_seed("cannot parse integer from empty string"),
                    NIGHTLY},
        FailureCase{{"-Zunstable-options", "--shuffle-seed", "18446744073709551616"},
                    bad_seed("number too large to fit in target type"),
                    NIGHTLY},
        FailureCase{{"--include-ignored", "--ignored"},
                    "the options --include-ignored and --ignored are mutually exclusive"},
        FailureCase{{"--test-threads", "0"}, bad_threads("number would be zero for non-zero type")},
        FailureCase{{"--test-threads="}, bad_threads("cannot parse integer from empty string")},
        FailureCase{{"--test-threads=-1"}, bad_threads("invalid digit found in string")},
        FailureCase{{"--test-threads=99999999999999999999"},
                    bad_threads("number too large to fit in target type")},
        FailureCase{{"--color", "sometimes"},
                    "argument for --color must be auto, always, or never (was sometimes)"},
        FailureCase{{"--format", "json"}, nightly_only("json", "format")},
        FailureCase{{"--format=junit"}, nightly_only("junit", "format")},
        FailureCase{{"--format=xml"},
                    "argument for --format must be pretty, terse, json or junit (was xml)"}),
    case_name);

INSTANTIATE_TEST_SUITE_P(
    ValueErrorOrder, OptionErrorTest,
    ::testing::Values(
        // An unstable flag is refused before its variables are looked at.
        FailureCase{
            {"--report-time"}, nightly_only("report-time"), {{"ORRA_TEST_TIME_UNIT", "bad"}}},
        // Without the allowance a bad seed variable is never read.
        FailureCase{{"--test-threads=0"},
                    bad_threads("number would be zero for non-zero type"),
                    {{"ORRA_TEST_SHUFFLE_SEED", "bad"}}},
        FailureCase{{"--test-threads=0", "--include-ignored", "--ignored"},
                    "the options --include-ignored and --ignored are mutually exclusive"},
        FailureCase{{"--format=xml", "--test-threads=x"},
                    bad_threads("invalid digit found in string")},
        FailureCase{{"--format=xml", "--color=x"},
                    "argument for --color must be auto, always, or never (was x)"},
        // The deprecated logfile is warned about only when everything else is valid.
        FailureCase{{"--logfile", "run.log", "--color=bad"},
                    "argument for --color must be auto, always, or never (was bad)"}),
    case_name);

class MainThreadFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(MainThreadFailureTest, GivesTheMessage) {
    const auto& c = GetParam();
    const auto reading = read(c.args, c.env);
    ASSERT_FALSE(reading.result.has_value());
    const auto* failure = std::get_if<MainThreadFailure>(&reading.result.error());
    ASSERT_NE(failure, nullptr) << "not a failure of the main thread";
    EXPECT_EQ(failure->message, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Variables, MainThreadFailureTest,
    ::testing::Values(
        FailureCase{{"-Zunstable-options", "--report-time"},
                    "Duration variable ORRA_TEST_TIME_UNIT expected to have 2 numbers separated "
                    "by comma, but got 100",
                    with(NIGHTLY, "ORRA_TEST_TIME_UNIT", "100")},
        FailureCase{{"-Zunstable-options", "--ensure-time"},
                    "Duration value in variable ORRA_TEST_TIME_INTEGRATION is expected to be a "
                    "number, but got a",
                    with(NIGHTLY, "ORRA_TEST_TIME_INTEGRATION", "a,5")},
        FailureCase{{"-Zunstable-options", "--report-time"},
                    "Duration value in variable ORRA_TEST_TIME_DOCTEST is expected to be a "
                    "number, but got 6,7",
                    with(NIGHTLY, "ORRA_TEST_TIME_DOCTEST", "5,6,7")},
        FailureCase{{"-Zunstable-options", "--report-time"},
                    "Test execution warn time should be less or equal to the critical time",
                    with(NIGHTLY, "ORRA_TEST_TIME_UNIT", "10,5")},
        FailureCase{{"-Zunstable-options"},
                    "ORRA_TEST_SHUFFLE_SEED is `abc`, should be a number.",
                    with(NIGHTLY, "ORRA_TEST_SHUFFLE_SEED", "abc")},
        // The time variables are read before the seed option is judged.
        FailureCase{{"-Zunstable-options", "--report-time", "--shuffle-seed=x"},
                    "Duration value in variable ORRA_TEST_TIME_UNIT is expected to be a number, "
                    "but got ",
                    with(NIGHTLY, "ORRA_TEST_TIME_UNIT", ",")}),
    case_name);

TEST(ReadOpts, DefaultsWithoutArguments) {
    const TestOpts opts = read_ok({});
    EXPECT_FALSE(opts.list);
    EXPECT_TRUE(opts.filters.empty());
    EXPECT_TRUE(opts.run_tests);
    EXPECT_FALSE(opts.bench_benchmarks);
    EXPECT_EQ(opts.format, OutputFormat::Pretty);
    EXPECT_EQ(opts.color, ColorConfig::Auto);
    EXPECT_EQ(opts.run_ignored, RunIgnored::No);
    EXPECT_FALSE(opts.shuffle);
    EXPECT_FALSE(opts.shuffle_seed.has_value());
    EXPECT_FALSE(opts.test_threads.has_value());
    EXPECT_FALSE(opts.time_options.has_value());
    EXPECT_FALSE(opts.nocapture);
}

TEST(ReadOpts, QuietIsTerseUnlessFormatSaysOtherwise) {
    EXPECT_EQ(read_ok({"-q"}).format, OutputFormat::Terse);
    EXPECT_EQ(read_ok({"--quiet"}).format, OutputFormat::Terse);
    EXPECT_EQ(read_ok({"-q", "--format", "pretty"}).format, OutputFormat::Pretty);
    EXPECT_EQ(read_ok({"--format=pretty", "-q"}).format, OutputFormat::Pretty);
    EXPECT_EQ(read_ok({"--format=terse"}).format, OutputFormat::Terse);
}

TEST(ReadOpts, FreeArgumentsMixWithOptions) {
    const TestOpts opts = read_ok({"lookup", "--exact", "classify", "-", "--", "--list", "-q"});
    EXPECT_EQ(opts.filters, (std::vector<std::string>{"lookup", "classify", "-", "--list", "-q"}));
    EXPECT_TRUE(opts.filter_exact);
    EXPECT_FALSE(opts.list);
    EXPECT_EQ(opts.format, OutputFormat::Pretty);
}

TEST(ReadOpts, ValueAfterEqualsOrInNextArgument) {
    EXPECT_EQ(read_ok({"--test-threads=3"}).test_threads, 3u);
    EXPECT_EQ(read_ok({"--test-threads", "+4"}).test_threads, 4u);
    // The next argument is the value even when it looks like an option.
    EXPECT_EQ(read_ok({"--skip", "--list"}).skip, std::vector<std::string>{"--list"});
    EXPECT_EQ(read_ok({"--skip=a=b", "--skip", "c"}).skip, (std::vector<std::string>{"a=b", "c"}));
}

TEST(ReadOpts, ColorValues) {
    EXPECT_EQ(read_ok({"--color=auto"}).color, ColorConfig::Auto);
    EXPECT_EQ(read_ok({"--color=always"}).color, ColorConfig::Always);
    EXPECT_EQ(read_ok({"--color=never"}).color, ColorConfig::Never);
}

TEST(ReadOpts, UnstableOptionsInBothSpellings) {
    EXPECT_EQ(read_ok({"-Zunstable-options", "--format=json"}, NIGHTLY).format, OutputFormat::Json);
    EXPECT_EQ(read_ok({"-Z", "unstable-options", "--format", "junit"}, NIGHTLY).format,
              OutputFormat::Junit);
    EXPECT_EQ(read_ok({"-qZunstable-options", "--format=json"}, NIGHTLY).format,
              OutputFormat::Json);
    const TestOpts opts = read_ok({"-Zunstable-options", "--force-run-in-process",
                                   "--exclude-should-panic", "--fail-fast", "--shuffle"},
                                  NIGHTLY);
    EXPECT_TRUE(opts.force_run_in_process);
    EXPECT_TRUE(opts.exclude_should_panic);
    EXPECT_TRUE(opts.fail_fast);
    EXPECT_TRUE(opts.shuffle);
}

TEST(ReadOpts, HelpComesBeforeEveryValueCheck) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"-h"}, {"--help"}, {"-qh"}, {"--color=bad", "--test-threads=0", "-h"}}) {
        const auto reading = read(args);
        ASSERT_TRUE(reading.result.has_value());
        EXPECT_FALSE(reading.result->has_value());
        EXPECT_TRUE(reading.out.starts_with("Usage: prog [OPTIONS] [FILTERS...]\n\nOptions:\n"));
    }
}

TEST(ReadOpts, ShuffleVariablesNeedTheAllowance) {
    EXPECT_FALSE(read_ok({}, {{"ORRA_TEST_SHUFFLE", "1"}}).shuffle);
    EXPECT_TRUE(read_ok({"-Zunstable-options"}, with(NIGHTLY, "ORRA_TEST_SHUFFLE", "1")).shuffle);
    EXPECT_FALSE(read_ok({"-Zunstable-options"}, with(NIGHTLY, "ORRA_TEST_SHUFFLE", "0")).shuffle);
    EXPECT_FALSE(read_ok({}, {{"ORRA_TEST_SHUFFLE_SEED", "9"}}).shuffle_seed.has_value());
    EXPECT_EQ(
        read_ok({"-Zunstable-options"}, with(NIGHTLY, "ORRA_TEST_SHUFFLE_SEED", "9")).shuffle_seed,
        9u);
    // The option wins over the variable, which is then not read at all.
    EXPECT_EQ(read_ok({"-Zunstable-options", "--shuffle-seed=18446744073709551615"},
                      with(NIGHTLY, "ORRA_TEST_SHUFFLE_SEED", "bad"))
                  .shuffle_seed,
              18446744073709551615u);
}

TEST(ReadOpts, CaptureSwitches) {
    EXPECT_TRUE(read_ok({"--no-capture"}).nocapture);
    EXPECT_TRUE(read_ok({"--nocapture"}).nocapture);
    EXPECT_TRUE(read_ok({}, {{"ORRA_TEST_NOCAPTURE", "1"}}).nocapture);
    EXPECT_TRUE(read_ok({}, {{"ORRA_TEST_NOCAPTURE", ""}}).nocapture);
    EXPECT_FALSE(read_ok({}, {{"ORRA_TEST_NOCAPTURE", "0"}}).nocapture);
}

TEST(ReadOpts, IgnoredHandlingAndBench) {
    EXPECT_EQ(read_ok({"--ignored"}).run_ignored, RunIgnored::Only);
    EXPECT_EQ(read_ok({"--include-ignored"}).run_ignored, RunIgnored::Yes);
    const TestOpts bench = read_ok({"--bench"});
    EXPECT_TRUE(bench.bench_benchmarks);
    EXPECT_FALSE(bench.run_tests);
    EXPECT_TRUE(read_ok({"--bench", "--test"}).run_tests);
}

TEST(ReadOpts, TimeOptionsTakeTheVariables) {
    Env env = with(NIGHTLY, "ORRA_TEST_TIME_UNIT", "5,+10");
    env["ORRA_TEST_TIME_DOCTEST"] = "7,7";
    const TestOpts opts = read_ok({"-Zunstable-options", "--ensure-time"}, env);
    ASSERT_TRUE(opts.time_options.has_value());
    EXPECT_TRUE(opts.time_options->error_on_excess);
    EXPECT_EQ(opts.time_options->unit_threshold.warn, std::chrono::milliseconds(5));
    EXPECT_EQ(opts.time_options->unit_threshold.critical, std::chrono::milliseconds(10));
    EXPECT_EQ(opts.time_options->doctest_threshold.critical, std::chrono::milliseconds(7));
    EXPECT_EQ(opts.time_options->integration_threshold.warn, std::chrono::milliseconds(500));
    EXPECT_EQ(opts.time_options->integration_threshold.critical, std::chrono::seconds(1));

    const TestOpts report = read_ok({"-Zunstable-options", "--report-time"}, NIGHTLY);
    ASSERT_TRUE(report.time_options.has_value());
    EXPECT_FALSE(report.time_options->error_on_excess);
}

TEST(ReadOpts, LogfileWarnsWithoutLineBreak) {
    const auto reading = read({"--logfile", "run.log"});
    ASSERT_TRUE(reading.result.has_value() && reading.result->has_value());
    EXPECT_EQ((*reading.result)->logfile, std::filesystem::path("run.log"));
    EXPECT_EQ(reading.out, "warning: `--logfile` is deprecated");
    EXPECT_EQ(reading.err, "");
    for (const std::string format : {"json", "junit"}) {
        const auto machine =
            read({"-Zunstable-options", "--format", format, "--logfile=x"}, NIGHTLY);
        ASSERT_TRUE(machine.result.has_value() && machine.result->has_value()) << format;
        EXPECT_EQ(machine.out, "") << format;
        EXPECT_EQ(machine.err, "warning: `--logfile` is deprecated\n") << format;
    }
}

}  // namespace
}  // namespace runner
