// Runs the check program as a child process and compares what it reports.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "program_run.hpp"
#include "tarnwick_dat/test_support/temp_dir.hpp"

namespace {

using check_program::ProgramRun;
using check_program::run_program;
using check_program::StandardOutput;
using tarnwick_dat::test_support::TempDir;

std::string mask(const std::string& text) {
    return check_program::mask_report(text);
}

const std::string CLOTHING = "all_retail_clothing_tables_parse";
const std::string CLASSIFY = "common::motion_command_names::tests::classify_known_commands";
const std::string LOOKUP = "common::motion_command_names::tests::lookup_known_commands";
const std::string SORTED =
    "common::motion_command_names::tests::table_is_strictly_sorted_for_binary_search";

TEST(ClothingParityProgram, SingleThreadedPassingRun) {
    const ProgramRun run = run_program({}, {{"ORRA_TEST_THREADS", "1"}});
    EXPECT_EQ(run.status, 0);
    std::string expected = "\nrunning 4 tests\n";
    for (const std::string& name : {CLOTHING, CLASSIFY, LOOKUP, SORTED}) {
        expected += "test " + name + " ... ok\n";
    }
    EXPECT_EQ(mask(run.out), expected +
                                 "\ntest result: ok. 4 passed; 0 failed; 0 ignored; 0 measured; "
                                 "0 filtered out; finished in <time>s\n\n");
    EXPECT_EQ(run.err, "");
}

TEST(ClothingParityProgram, MultiThreadedRunWritesEachLineWhole) {
    const ProgramRun run = run_program({}, {{"ORRA_TEST_THREADS", "3"}});
    EXPECT_EQ(run.status, 0);
    for (const std::string& name : {CLOTHING, CLASSIFY, LOOKUP, SORTED}) {
        EXPECT_NE(run.out.find("\ntest " + name + " ... ok\n"), std::string::npos) << run.out;
    }
}

TEST(ClothingParityProgram, BadThreadCountVariableFailsTheMainThread) {
    for (const std::string bad : {"0", "many", "-1", ""}) {
        const ProgramRun run = run_program({}, {{"ORRA_TEST_THREADS", bad}});
        EXPECT_EQ(run.status, 101) << bad;
        EXPECT_EQ(run.out, "") << bad;
        EXPECT_EQ(mask(run.err),
                  "\nthread 'main' (<id>) panicked at <location>:\n"
                  "ORRA_TEST_THREADS is `" +
                      bad +
                      "`, should be a positive integer.\n"
                      "note: run with `ORRA_BACKTRACE=1` environment variable to "
                      "display a backtrace\n")
            << bad;
    }
}

// Filters select by containment, --exact by the whole name: here none.
TEST(ClothingParityProgram, FiltersSelectChecks) {
    const ProgramRun exact =
        run_program({"--exact", "lookup_known_commands"}, {{"ORRA_TEST_THREADS", "1"}});
    EXPECT_EQ(exact.status, 0);
    EXPECT_EQ(mask(exact.out),
              "\nrunning 0 tests\n"
              "\ntest result: ok. 0 passed; 0 failed; 0 ignored; 0 measured; "
              "4 filtered out; finished in <time>s\n\n");
    const ProgramRun run = run_program({"lookup", "classify"}, {{"ORRA_TEST_THREADS", "1"}});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("running 2 tests\n"), std::string::npos);
    EXPECT_NE(run.out.find("2 passed; 0 failed; 0 ignored; 0 measured; 2 filtered out"),
              std::string::npos);
}

// An invalid byte in a group of short options is named alone.
TEST(ClothingParityProgram, OptionErrorEndsWithStatus101) {
    for (const auto& [option, error] : {std::pair{"--bogus", "'bogus'"}, {"-\xffqqqq", "'\xff'"}}) {
        const ProgramRun run = run_program({option});
        EXPECT_EQ(run.status, 101) << option;
        EXPECT_EQ(run.err, std::string{"error: Unrecognized option: "} + error + "\n");
        EXPECT_EQ(run.out, "") << option;
    }
}

TEST(ClothingParityProgram, ListingInRegistryOrder) {
    const ProgramRun run = run_program({"--list"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, CLOTHING + ": test\n" + CLASSIFY + ": test\n" + LOOKUP + ": test\n" +
                           SORTED + ": test\n\n4 tests, 0 benchmarks\n");
}

const std::map<std::string, std::string> NIGHTLY{{"ORRAC_BOOTSTRAP", "1"}};

using runner::testing::command_output;

TEST(ClothingParityProgram, FailuresSectionPrecedesTimeFailuresEvenWhenEmpty) {
    // A critical limit of 0 ms fails every check by time alone.
    const std::map<std::string, std::string> env{{"ORRAC_BOOTSTRAP", "1"},
                                                 {"ORRA_TEST_TIME_INTEGRATION", "0,0"}};
    const std::string sections =
        "\nfailures:\n\nfailures:\n\nfailures (time limit exceeded):\n"
        "\nfailures (time limit exceeded):\n    " +
        CLASSIFY + "\n    " + LOOKUP + "\n";
    for (const std::string threads : {"1", "2"}) {
        const ProgramRun run = run_program({"-Zunstable-options", "--ensure-time", "--test-threads",
                                            threads, "lookup", "classify"},
                                           env);
        EXPECT_EQ(run.status, 101) << threads;
        const std::string out = mask(run.out);
        const auto summary = out.find("\ntest result: FAILED. 0 passed; 2 failed;");
        ASSERT_NE(summary, std::string::npos) << out;
        ASSERT_GE(summary, sections.size()) << out;
        EXPECT_EQ(out.substr(summary - sections.size(), sections.size()), sections) << out;
    }
    const ProgramRun fail_fast = run_program(
        {"-Zunstable-options", "--ensure-time", "--fail-fast", "--test-threads=1", "lookup"}, env);
    EXPECT_NE(fail_fast.out.find("\nfailures:\n\nfailures:\n\nfailures (time limit exceeded):\n"),
              std::string::npos)
        << fail_fast.out;
}

TEST(ClothingParityProgram, ClosedOutputPipeIsAnOutputError) {
    const std::string broken_pipe =
        "error: io error when listing tests: Os { code: 32, kind: BrokenPipe, message: \"Broken "
        "pipe\" }\n";
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{},
                                               {"-q"},
                                               {"--list"},
                                               {"--help"},
                                               {"-Zunstable-options", "--format=json"},
                                               {"-Zunstable-options", "--format=junit"},
                                               {"--logfile=/dev/null"}}) {
        const ProgramRun run = run_program(args, NIGHTLY, StandardOutput::ClosedPipe);
        const std::string shown = args.empty() ? "(none)" : args.back();
        EXPECT_EQ(run.status, 101) << shown;
        EXPECT_EQ(run.err, broken_pipe) << shown;
    }
}

TEST(ClothingParityProgram, FifoAsTheArchiveFailsAtOnce) {
    TempDir dir;
    const auto fifo = dir / "portal.dat";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const ProgramRun run = run_program({"--exact", CLOTHING}, {{"TARNWICK_PORTAL_DAT", fifo}});
    EXPECT_EQ(run.status, 101);
    EXPECT_NE(run.out.find("open portal.dat: Io(Os { code: 29, kind: NotSeekable, message: "
                           "\"Illegal seek\" })"),
              std::string::npos)
        << run.out;
}

TEST(ClothingParityProgram, DelayInTheResetStringIsNotWritten) {
    TempDir dir;
    std::ofstream{dir / "delayed.src"}
        << "delayed|terminal with a delay in its reset,\n"
           "\tcolors#8, setaf=\\E[3%p1%dm, setab=\\E[4%p1%dm, sgr0=\\E[m\\017$<2>,\n";
    const std::string terminfo = (dir / "terminfo").string();
    const std::string with_terminfo = "TERMINFO=" + terminfo + " ";
    const auto compiled = command_output(with_terminfo + "tic -x -o " + terminfo + " " +
                                         (dir / "delayed.src").string() + " 2>&1");
    const auto setaf = command_output(with_terminfo + "tput -T delayed setaf 2");
    const auto sgr0 = command_output(with_terminfo + "tput -T delayed sgr0");
    if (!compiled || !setaf || !sgr0) {
        GTEST_SKIP() << "tic or tput is not available";
    }
    ASSERT_EQ(*sgr0, "\x1b[m\x0f") << "tput must not write the delay";
    const ProgramRun run = run_program({"--color=always", "--test-threads=1", "--exact", LOOKUP},
                                       {{"TERM", "delayed"}, {"TERMINFO", terminfo}});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("test " + LOOKUP + " ... " + *setaf + "ok" + *sgr0 + "\n"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(run.out.find("$<"), std::string::npos) << run.out;
}

TEST(ClothingParityProgram, JunitReportWithEscapeSequencesIsXml) {
    const ProgramRun run =
        run_program({"-Zunstable-options", "--format=junit"},
                    {{"ORRAC_BOOTSTRAP", "1"}, {"TARNWICK_PORTAL_DAT", "/dev/null"}});
    EXPECT_EQ(run.status, 101);
    EXPECT_EQ(run.out.find('\x1b'), std::string::npos);
    EXPECT_NE(run.out.find("\xEF\xBF\xBD[1m"), std::string::npos) << run.out;
    TempDir dir;
    const auto report = dir / "report.xml";
    std::ofstream{report, std::ios::binary} << run.out;
    if (!command_output("xmllint --version 2>&1")) {
        GTEST_SKIP() << "xmllint is not installed";
    }
    EXPECT_TRUE(command_output("xmllint --noout " + report.string() + " 2>&1"));
}

TEST(ClothingParityProgram, LogfileWarningKeepsMachineFormatsReadable) {
    TempDir dir;
    const std::string logfile = "--logfile=" + (dir / "run.log").string();
    const ProgramRun json = run_program({"-Zunstable-options", "--format=json", logfile}, NIGHTLY);
    EXPECT_EQ(json.err, "warning: `--logfile` is deprecated\n");
    std::istringstream lines{json.out};
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
        EXPECT_TRUE(line.starts_with("{ \"type\": ") && line.ends_with(" }")) << line;
    }
    EXPECT_EQ(count, 10) << json.out;
    const ProgramRun junit =
        run_program({"-Zunstable-options", "--format=junit", logfile}, NIGHTLY);
    EXPECT_TRUE(junit.out.starts_with("<?xml version=")) << junit.out;
    EXPECT_EQ(junit.err, "warning: `--logfile` is deprecated\n");
    const ProgramRun pretty = run_program({logfile});
    EXPECT_TRUE(pretty.out.starts_with("warning: `--logfile` is deprecated\nrunning 4 tests\n"))
        << pretty.out;
    EXPECT_EQ(pretty.err, "");
}

}  // namespace
