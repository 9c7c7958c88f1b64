#pragma once

// Measuring a program from outside: run as a child process, its read counters taken from /proc
// while it is a zombie, its times and peak memory from wait4.

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <vector>

namespace bench {

// The kernel's read counters of a process (/proc/<pid>/io): bytes returned by read system
// calls of any kind, and the number of those calls.
struct IoCounters {
    std::uint64_t read_bytes = 0;
    std::uint64_t read_calls = 0;
    // Bytes the read of the counters itself returned; it shows in the next reading.
    std::uint64_t own_read_bytes = 0;
};

std::optional<IoCounters> read_io_counters(const std::string& path);
// What this process read between two readings of /proc/self/io, less the first reading itself.
IoCounters self_io_between(const IoCounters& before, const IoCounters& after);

// One measured run, of a child process or of work done in this process.
struct Sample {
    double wall_ms = 0;
    double user_ms = 0;
    double system_ms = 0;
    std::uint64_t read_bytes = 0;
    std::uint64_t read_calls = 0;
    long minor_faults = 0;
    long peak_kib = 0;  // 0 when not measured (work done in this process)
};

struct ChildRun {
    Sample sample;
    std::string output;  // what it wrote to standard output, unless discarded
    std::string errors;  // what it wrote to standard error, if captured
};

// Where a child's output goes.
struct ChildOutput {
    bool discard_output = false;  // standard output to /dev/null instead of captured
    bool capture_errors = false;  // standard error captured instead of shared with this process
};

// Runs `argv` (program path first) with this process's environment and fails unless it exits
// with status 0.
std::expected<ChildRun, std::string> run_child(const std::vector<std::string>& argv,
                                               ChildOutput where = {});

}  // namespace bench
