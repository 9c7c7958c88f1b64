#pragma once

// Test support: runs the check program as a child process and collects what it wrote.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "runner/test_support/test_helpers.hpp"

extern char** environ;

namespace check_program {

struct ProgramRun {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string read_file(const std::filesystem::path& path) {
    std::ifstream in{path, std::ios::binary};
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The environment of this process without the runner's and the archive locator's variables
// and those `extra` sets, plus `extra`.
inline std::vector<std::string> child_environment(const std::map<std::string, std::string>& extra) {
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text{*entry};
        const std::string name{text.substr(0, text.find('='))};
        if (!text.starts_with("ORRA") && name != "TARNWICK_PORTAL_DAT" && !extra.contains(name)) {
            env.emplace_back(text);
        }
    }
    for (const auto& [name, value] : extra) {
        env.push_back(name + "=" + value);
    }
    return env;
}

// The check program, or its build named `name`, in the binaries folder that ctest names.
inline std::filesystem::path program_path(std::string_view name = "clothing_parity") {
    const char* bin_dir = std::getenv("TARNWICK_BIN_DIR");
    return std::filesystem::path{bin_dir ? bin_dir : "build/bin"} / name;
}

// Where the child's standard output goes: a file that is read back, or a pipe whose reader has
// already gone away.
enum class StandardOutput { File, ClosedPipe };

// Waits for the child; one that is still running after a minute is killed (status -1), so that
// a program that hangs fails its test instead of stalling the suite.
inline int wait_at_most_a_minute(pid_t pid) {
    for (int tick = 0; tick < 6000; ++tick) {
        int wait_status = 0;
        if (waitpid(pid, &wait_status, WNOHANG) == pid) {
            return WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
        }
        ::usleep(10'000);
    }
    ::kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

// Runs the program (or its build named `program_name`) with `args`; its standard error (and
// output, unless sent to a closed pipe) go through temporary files. The child starts with every
// signal at its default action.
inline ProgramRun run_program(std::vector<std::string> args,
                              const std::map<std::string, std::string>& extra_env = {},
                              StandardOutput standard_output = StandardOutput::File,
                              std::string_view program_name = "clothing_parity") {
    namespace fs = std::filesystem;
    const fs::path program = program_path(program_name);
    const std::string tag = std::to_string(::getpid()) + "_" + std::to_string(std::rand());
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
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    int pipe_ends[2] = {-1, -1};
    if (standard_output == StandardOutput::ClosedPipe && ::pipe(pipe_ends) == 0) {
        ::close(pipe_ends[0]);
        posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, pipe_ends[1]);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out_path.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
    }
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_path.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t all_signals;
    sigfillset(&all_signals);
    posix_spawnattr_setsigdefault(&attributes, &all_signals);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    ProgramRun run;
    if (posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), envp.data()) == 0) {
        run.status = wait_at_most_a_minute(pid);
    }
    if (pipe_ends[1] >= 0) {
        ::close(pipe_ends[1]);
    }
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    run.out = read_file(out_path);
    run.err = read_file(err_path);
    fs::remove(out_path);
    fs::remove(err_path);
    return run;
}

// The report with run times, thread ids and assertion locations replaced by placeholders.
inline std::string mask_report(const std::string& text) {
    return runner::testing::mask_between(runner::testing::mask_variable_parts(text), "panicked at ",
                                         ":\n", "<location>");
}

}  // namespace check_program
