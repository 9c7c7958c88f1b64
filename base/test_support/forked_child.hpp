#pragma once

// For tests only: a function run in a forked child, for what must not happen in the test's own
// process (ending it, changing its limits, a hang), with what the child wrote and how it ended.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <iostream>
#include <string>

namespace tarnwick_base::test_support {

struct ChildRun {
    std::string out;  // what the child wrote to its standard output
    int status = -1;  // as `waitpid` gives it
    long max_rss_kib = 0;
    std::chrono::steady_clock::duration elapsed{};
};

// Runs `child` in a forked process whose standard output goes into a pipe, and waits for it.
// The child ends with status 0 when `child` returns; with `alarm_seconds` (0: never) a child
// that hangs is ended by SIGALRM.
inline ChildRun run_in_child(const std::function<void()>& child, unsigned alarm_seconds = 0) {
    int fds[2];
    if (pipe(fds) != 0) {
        return {"<pipe failed>"};
    }
    // Nothing buffered in the test's process is written twice.
    std::cout.flush();
    std::fflush(stdout);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        close(fds[1]);
        alarm(alarm_seconds);
        child();
        std::cout.flush();
        std::fflush(stdout);
        _exit(0);
    }
    close(fds[1]);
    ChildRun run;
    char buffer[4096];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;) {
        run.out.append(buffer, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    rusage usage{};
    wait4(pid, &run.status, 0, &usage);
    run.elapsed = std::chrono::steady_clock::now() - start;
    run.max_rss_kib = usage.ru_maxrss;
    return run;
}

}  // namespace tarnwick_base::test_support
