// Runs the check program as a child process and compares what it reports.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "runner/test_helpers.hpp"

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct ProgramRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string read_all(const fs::path& path) {
    std::ifstream in{path, std::ios::binary};
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The environment of this process without the runner's variables, plus `extra`.
std::vector<std::string> child_environment(const std::map<std::string, std::string>& extra) {
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (!std::string_view{*entry}.starts_with("ORRA")) {
            env.emplace_back(*entry);
        }
    }
    for (const auto& [name, value] : extra) {
        env.push_back(name + "=" + value);
    }
    return env;
}

ProgramRun run_program(std::vector<std::string> args,
                       const std::map<std::string, std::string>& extra_env = {}) {
    const char* bin_dir = std::getenv("TARNWICK_BIN_DIR");
    const fs::path program = fs::path{bin_dir ? bin_dir : "build/bin"} / "clothing_parity";
    const std::string tag = std::to_string(getpid()) + "_" +
                            ::testing::UnitTest::GetInstance()->current_test_info()->name();
    const fs::path out_path = fs::temp_directory_path() / ("clothing_parity_out_" + tag);
    const fs::path err_path = fs::temp_directory_path() / ("clothing_parity_err_" + tag);

    args.insert(args.begin(), program.string());
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    std::vector<std::string> env = child_environment(extra_env);
    std::vector<char*> envp;
    for (std::string& entry : env) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out_path.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_path.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    ProgramRun run;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) == 0) {
        int wait_status = 0;
        waitpid(pid, &wait_status, 0);
        run.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    run.out = read_all(out_path);
    run.err = read_all(err_path);
    fs::remove(out_path);
    fs::remove(err_path);
    return run;
}

std::string mask(const std::string& text) {
    const std::string timed = runner::testing::mask_variable_parts(text);
    return runner::testing::mask_between(timed, "panicked at ", ":\n", "<location>");
}

const std::string CLASSIFY = "common::motion_command_names::tests::classify_known_commands";
const std::string LOOKUP = "common::motion_command_names::tests::lookup_known_commands";
const std::string SORTED =
    "common::motion_command_names::tests::table_is_strictly_sorted_for_binary_search";

TEST(ClothingParityProgram, SingleThreadedPassingRun) {
    const ProgramRun run = run_program({}, {{"ORRA_TEST_THREADS", "1"}});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(mask(run.out),
              "\nrunning 3 tests\n"
              "test " +
                  CLASSIFY +
                  " ... ok\n"
                  "test " +
                  LOOKUP +
                  " ... ok\n"
                  "test " +
                  SORTED +
                  " ... ok\n"
                  "\ntest result: ok. 3 passed; 0 failed; 0 ignored; 0 measured; "
                  "0 filtered out; finished in <time>s\n\n");
    EXPECT_EQ(run.err, "");
}

TEST(ClothingParityProgram, MultiThreadedRunWritesEachLineWhole) {
    const ProgramRun run = run_program({}, {{"ORRA_TEST_THREADS", "3"}});
    EXPECT_EQ(run.status, 0);
    for (const std::string& name : {CLASSIFY, LOOKUP, SORTED}) {
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
              "3 filtered out; finished in <time>s\n\n");
}

TEST(ClothingParityProgram, FilterSelectsByContainment) {
    const ProgramRun run = run_program({"lookup", "classify"}, {{"ORRA_TEST_THREADS", "1"}});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("running 2 tests\n"), std::string::npos);
    EXPECT_NE(run.out.find("2 passed; 0 failed; 0 ignored; 0 measured; 1 filtered out"),
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
    EXPECT_EQ(run.out, CLASSIFY + ": test\n" + LOOKUP + ": test\n" + SORTED +
                           ": test\n\n3 tests, 0 benchmarks\n");
}

}  // namespace
