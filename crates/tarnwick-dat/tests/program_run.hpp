#pragma once

// Test support: runs the check program as a child process and collects what it wrote.

#include <fcntl.h>
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

#include "runner/test_helpers.hpp"

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

// The environment of this process without the runner's and the archive locator's variables,
// plus `extra`.
inline std::vector<std::string> child_environment(const std::map<std::string, std::string>& extra) {
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text{*entry};
        if (!text.starts_with("ORRA") && !text.starts_with("TARNWICK_PORTAL_DAT=")) {
            env.emplace_back(text);
        }
    }
    for (const auto& [name, value] : extra) {
        env.push_back(name + "=" + value);
    }
    return env;
}

inline std::filesystem::path program_path() {
    const char* bin_dir = std::getenv("TARNWICK_BIN_DIR");
    return std::filesystem::path{bin_dir ? bin_dir : "build/bin"} / "clothing_parity";
}

// Runs the program with `args`; its standard output and error go through temporary files.
inline ProgramRun run_program(std::vector<std::string> args,
                              const std::map<std::string, std::string>& extra_env = {}) {
    namespace fs = std::filesystem;
    const fs::path program = program_path();
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
