// Runs the check program as a child process and compares what it reports.

#include <gtest/gtest.h>

#include <string>

#include "program_run.hpp"

namespace {

using check_program::ProgramRun;
using check_program::run_program;

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
    EXPECT_EQ(mask(run.out),
              "\nrunning 4 tests\n"
              "test " +
                  CLOTHING +
                  " ... ok\n"
                  "test " +
                  CLASSIFY +
                  " ... ok\n"
                  "test " +
                  LOOKUP +
                  " ... ok\n"
                  "test " +
                  SORTED +
                  " ... ok\n"
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

TEST(ClothingParityProgram, NoCheckSelected) {
    const ProgramRun run =
        run_program({"--exact", "lookup_known_commands"}, {{"ORRA_TEST_THREADS", "1"}});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(mask(run.out),
              "\nrunning 0 tests\n"
              "\ntest result: ok. 0 passed; 0 failed; 0 ignored; 0 measured; "
              "4 filtered out; finished in <time>s\n\n");
}

TEST(ClothingParityProgram, FilterSelectsByContainment) {
    const ProgramRun run = run_program({"lookup", "classify"}, {{"ORRA_TEST_THREADS", "1"}});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("running 2 tests\n"), std::string::npos);
    EXPECT_NE(run.out.find("2 passed; 0 failed; 0 ignored; 0 measured; 2 filtered out"),
              std::string::npos);
}

TEST(ClothingParityProgram, OptionErrorEndsWithStatus101) {
    const ProgramRun run = run_program({"--bogus"});
    EXPECT_EQ(run.status, 101);
    EXPECT_EQ(run.err, "error: Unrecognized option: 'bogus'\n");
    EXPECT_EQ(run.out, "");
}

TEST(ClothingParityProgram, ListingInRegistryOrder) {
    const ProgramRun run = run_program({"--list"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, CLOTHING + ": test\n" + CLASSIFY + ": test\n" + LOOKUP + ": test\n" +
                           SORTED + ": test\n\n4 tests, 0 benchmarks\n");
}

}  // namespace
