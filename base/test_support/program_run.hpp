#pragma once

// For tests only: runs a built program as a child process, as a user would from a shell, and
// collects what it wrote.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick_base::test_support {

struct ProgramRun {
    int status = -1;  // the exit status, 128 + N for signal N; -1 for one never started or hung
    std::string out;
    std::string err;
};

// Where the child's standard output goes: a file that is read back, a pipe whose reader has
// already gone away, or a terminal that nobody reads.
enum class StandardOutput { File, ClosedPipe, Terminal };

inline std::string read_file(const std::filesystem::path& path) {
    std::ifstream in{path, std::ios::binary};
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The built program `name`, in the binaries folder that ctest names.
inline std::filesystem::path program_path(std::string_view name) {
    const char* bin_dir = std::getenv("TARNWICK_BIN_DIR");
    return std::filesystem::path{bin_dir ? bin_dir : "build/bin"} / name;
}

// Waits for the child; one that is still running after a minute is killed (status -1), so that
// a program that hangs fails its test instead of stalling the suite.
inline int wait_at_most_a_minute(pid_t pid) {
    for (int tick = 0; tick < 6000; ++tick) {
        int wait_status = 0;
        if (waitpid(pid, &wait_status, WNOHANG) == pid) {
            // A program ended by a signal gives 128 and its number, as a shell shows it.
            return WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
        }
        ::usleep(10'000);
    }
    ::kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

// A descriptor for the child's standard output other than a file: the write end of a pipe
// already closed for reading, or a terminal's secondary side (its primary kept open meanwhile).
class OutputEnd {
  public:
    explicit OutputEnd(StandardOutput kind) {
        if (kind == StandardOutput::ClosedPipe) {
            int ends[2];
            if (::pipe(ends) == 0) {
                ::close(ends[0]);
                fd_ = ends[1];
            }
        } else if (kind == StandardOutput::Terminal) {
            primary_ = ::posix_openpt(O_RDWR | O_NOCTTY);
            if (primary_ >= 0 && ::grantpt(primary_) == 0 && ::unlockpt(primary_) == 0) {
                fd_ = ::open(::ptsname(primary_), O_RDWR | O_NOCTTY);
            }
        }
    }
    OutputEnd(const OutputEnd&) = delete;
    OutputEnd& operator=(const OutputEnd&) = delete;
    ~OutputEnd() {
        for (const int fd : {fd_, primary_}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    int fd() const { return fd_; }
    int primary() const { return primary_; }

  private:
    int fd_ = -1;
    int primary_ = -1;
};

// This process's environment ("NAME=value" each), for a child that is to see what the tests see.
inline std::vector<std::string> this_environment() {
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        env.emplace_back(*entry);
    }
    return env;
}

// Runs `program` with `args` and the environment `env` ("NAME=value" each), standard input
// empty and every signal at its default action; its standard error (and output, when sent to
// a file) go through temporary files.
inline ProgramRun run_program(const std::filesystem::path& program, std::vector<std::string> args,
                              std::vector<std::string> env,
                              StandardOutput standard_output = StandardOutput::File) {
    namespace fs = std::filesystem;
    const std::string tag = std::to_string(::getpid()) + "_" + std::to_string(std::rand());
    const fs::path out_path = fs::temp_directory_path() / ("program_run_out_" + tag);
    const fs::path err_path = fs::temp_directory_path() / ("program_run_err_" + tag);

    args.insert(args.begin(), program.string());
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& entry : env) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    const OutputEnd output{standard_output};
    if (output.fd() >= 0) {
        posix_spawn_file_actions_adddup2(&actions, output.fd(), STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, output.fd());
        if (output.primary() >= 0) {
            posix_spawn_file_actions_addclose(&actions, output.primary());
        }
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
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    run.out = read_file(out_path);
    run.err = read_file(err_path);
    fs::remove(out_path);
    fs::remove(err_path);
    return run;
}

}  // namespace tarnwick_base::test_support
