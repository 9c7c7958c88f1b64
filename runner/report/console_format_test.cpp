// Whole runs through the console entry, to see the chosen format and terminal reach the output.
#include <gtest/gtest.h>

#include <cstdio>

#include "runner/report/console.hpp"
#include "runner/terminal/terminal_output.hpp"
#include "runner/test_support/recording_output.hpp"
#include "runner/test_support/test_helpers.hpp"

namespace runner {
namespace {

TestOutcome passes() {
    return {};
}

std::vector<TestDescAndFn> one_check() {
    TestDescAndFn entry{TestDesc{}, StaticTestFn{passes}};
    entry.desc.name = "a";
    entry.desc.test_kind = TestKind::Integration;
    return {entry};
}

std::optional<std::string> tput(const std::string& arguments) {
    return testing::command_output("tput -T xterm-256color " + arguments + " 2>/dev/null");
}

// The report up to the run's time, which varies.
std::string run(TestOpts opts, std::unique_ptr<OutputLocation> out, const std::string& text) {
    opts.test_threads = 1;
    auto verdict = run_tests_console(opts, one_check(), std::move(out));
    EXPECT_TRUE(verdict.has_value() && *verdict);
    return text.substr(0, text.find("finished in"));
}

TEST(ConsoleFormats, ColourAlwaysWrapsOkInTheTerminalsBytes) {
    auto setaf = tput("setaf 2");
    auto sgr0 = tput("sgr0");
    if (!setaf || !sgr0) {
        GTEST_SKIP() << "tput or the xterm-256color description is not available";
    }
    struct Case {
        ColorConfig color;
        bool nocapture;
        bool coloured;
    };
    for (const Case& c :
         {Case{ColorConfig::Always, false, true}, Case{ColorConfig::Never, false, false},
          Case{ColorConfig::Auto, true, false}}) {
        std::string text;
        TestOpts opts;
        opts.color = c.color;
        opts.nocapture = c.nocapture;
        const std::string ok = c.coloured ? *setaf + "ok" + *sgr0 : "ok";
        EXPECT_EQ(run(opts,
                      terminal_or_plain(std::make_unique<RecordingOutput>(text),
                                        testing::fake_env({{"TERM", "xterm-256color"}})),
                      text),
                  "\nrunning 1 test\ntest a ... " + ok + "\n\ntest result: " + ok +
                      ". 1 passed; 0 failed; 0 ignored; 0 measured; 0 filtered out; ");
    }
}

TEST(ConsoleFormats, EachFormatReachesTheOutput) {
    struct Case {
        OutputFormat format;
        std::string_view report;
    };
    const Case cases[] = {
        {OutputFormat::Terse,
         "\nrunning 1 test\n.\ntest result: ok. 1 passed; 0 failed; 0 ignored; "
         "0 measured; 0 filtered out; "},
        {OutputFormat::Json,
         "{ \"type\": \"suite\", \"event\": \"started\", \"test_count\": 1 }\n"
         "{ \"type\": \"test\", \"event\": \"started\", \"name\": \"a\" }\n"
         "{ \"type\": \"test\", \"name\": \"a\", \"event\": \"ok\" }\n"
         "{ \"type\": \"suite\", \"event\": \"ok\", \"passed\": 1, \"failed\": 0, \"ignored\": 0, "
         "\"measured\": 0, \"filtered_out\": 0, \"exec_time\": "},
    };
    for (const Case& c : cases) {
        std::string text;
        TestOpts opts;
        opts.format = c.format;
        std::string report = run(opts, std::make_unique<RecordingOutput>(text), text);
        EXPECT_EQ(report.substr(0, c.report.size()), c.report);
    }
    std::string text;
    TestOpts opts;
    opts.format = OutputFormat::Junit;
    run(opts, std::make_unique<RecordingOutput>(text), text);
    const std::string_view expected_start =
        R"(<?xml version="1.0" encoding="UTF-8"?><testsuites><testsuite name="test" package="test" )"
        R"(id="0" errors="0" failures="0" tests="1" skipped="0" >)"
        R"(<testcase classname="integration" name="a" time="0"/>)"
        R"(<system-out/><system-err/></testsuite></testsuites>)"
        "\n";
    EXPECT_EQ(text, expected_start);
}

}  // namespace
}  // namespace runner
