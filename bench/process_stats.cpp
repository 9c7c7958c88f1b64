#include "process_stats.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

namespace bench {
namespace {

double milliseconds(const timeval& time) {
    return static_cast<double>(time.tv_sec) * 1e3 + static_cast<double>(time.tv_usec) / 1e3;
}

std::uint64_t counter(const std::string& text, const char* key) {
    const auto at = text.find(key);
    return at == std::string::npos ? 0 : std::stoull(text.substr(at + std::strlen(key)));
}

std::string read_all(int fd) {
    std::string text;
    char chunk[4096];
    ssize_t got = 0;
    while ((got = ::pread(fd, chunk, sizeof chunk, static_cast<off_t>(text.size()))) > 0) {
        text.append(chunk, static_cast<std::size_t>(got));
    }
    return text;
}

std::string describe_status(int status) {
    if (WIFEXITED(status)) {
        return "exited with status " + std::to_string(WEXITSTATUS(status));
    }
    return "was killed by signal " + std::to_string(WTERMSIG(status));
}

}  // namespace

std::optional<IoCounters> read_io_counters(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    // One read system call, so that reading the counters costs a known amount.
    char buffer[1024];
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    if (got <= 0) {
        return std::nullopt;
    }
    const std::string text{buffer, static_cast<std::size_t>(got)};
    return IoCounters{counter(text, "rchar: "), counter(text, "syscr: "),
                      static_cast<std::uint64_t>(got)};
}

IoCounters self_io_between(const IoCounters& before, const IoCounters& after) {
    return {after.read_bytes - before.read_bytes - before.own_read_bytes,
            after.read_calls - before.read_calls - 1, 0};
}

std::expected<ChildRun, std::string> run_child(const std::vector<std::string>& argv,
                                               ChildOutput where) {
    const int output = where.discard_output ? ::open("/dev/null", O_WRONLY | O_CLOEXEC)
                                            : ::memfd_create("child-output", MFD_CLOEXEC);
    const int errors = where.capture_errors ? ::memfd_create("child-errors", MFD_CLOEXEC) : -1;
    if (output < 0 || (where.capture_errors && errors < 0)) {
        ::close(output);
        ::close(errors);
        return std::unexpected{std::string{"cannot open the child's output: "} +
                               std::strerror(errno)};
    }
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);

    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(output, STDOUT_FILENO);
        if (errors >= 0) {
            ::dup2(errors, STDERR_FILENO);
        }
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    if (pid < 0) {
        ::close(output);
        ::close(errors);
        return std::unexpected{std::string{"fork: "} + std::strerror(errno)};
    }
    // Wait for the end without reaping, so that the counters can still be read.
    siginfo_t info{};
    ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT);
    const auto end = std::chrono::steady_clock::now();
    const auto io = read_io_counters("/proc/" + std::to_string(pid) + "/io");
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    ChildRun run;
    if (!where.discard_output) {
        run.output = read_all(output);
    }
    ::close(output);
    if (errors >= 0) {
        run.errors = read_all(errors);
        ::close(errors);
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return std::unexpected{argv[0] + " " + describe_status(status) + "; its output:\n" +
                               run.output + run.errors};
    }
    if (!io) {
        return std::unexpected{"cannot read the I/O counters of " + argv[0]};
    }
    run.sample = {std::chrono::duration<double, std::milli>(end - start).count(),
                  milliseconds(usage.ru_utime),
                  milliseconds(usage.ru_stime),
                  io->read_bytes,
                  io->read_calls,
                  usage.ru_minflt,
                  usage.ru_maxrss};
    return run;
}

}  // namespace bench
