// Measures the clothing parity check against an archive, beside what the hardware allows:
//   clothing_parity_bench ARCHIVE CHECK_PROGRAM [RUNS]
// Prints, for the whole check (the real program), the directory load alone, and a baseline that
// reads the same bytes (directory nodes and clothing files) through one memory mapping: the best
// wall time of RUNS, the bytes read, the read system calls, and peak memory.

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <span>
#include <string>
#include <vector>

#include "tarnwick_dat/file_type.hpp"
#include "tarnwick_dat/lib.hpp"

namespace {

using Clock = std::chrono::steady_clock;
using tarnwick_dat::DatDatabase;

struct IoCounters {
    std::uint64_t read_calls = 0;
    std::uint64_t read_bytes = 0;
};

IoCounters io_counters(const std::string& proc_io) {
    std::ifstream in{proc_io};
    IoCounters counters;
    std::string key;
    std::uint64_t value = 0;
    while (in >> key >> value) {
        if (key == "syscr:") {
            counters.read_calls = value;
        } else if (key == "rchar:") {
            counters.read_bytes = value;
        }
    }
    return counters;
}

struct Measure {
    double best_seconds = 1e300;
    IoCounters io;
    long peak_kib = 0;
};

void print(const char* label, const Measure& m) {
    std::printf("%-34s %9.4f s  %12llu bytes read  %8llu read calls  peak %7ld KiB\n", label,
                m.best_seconds, static_cast<unsigned long long>(m.io.read_bytes),
                static_cast<unsigned long long>(m.io.read_calls), m.peak_kib);
}

// One run of the real program, checking only the clothing tables; its counters come from
// /proc while it is a zombie, its peak memory from wait4.
bool run_check_once(const char* program, Measure& m) {
    const auto start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::execl(program, program, "--exact", "all_retail_clothing_tables_parse", "--test-threads",
                "1", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    siginfo_t info{};
    ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const IoCounters io = io_counters("/proc/" + std::to_string(pid) + "/io");
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "the check failed (status %d)\n", status);
        return false;
    }
    if (seconds < m.best_seconds) {
        m.best_seconds = seconds;
        m.io = io;
    }
    m.peak_kib = std::max(m.peak_kib, usage.ru_maxrss);
    return true;
}

// Runs `work` in this process; counts what it read from /proc/self/io.
Measure measure_in_process(int runs, const std::function<void()>& work) {
    Measure m;
    for (int i = 0; i < runs; ++i) {
        const IoCounters before = io_counters("/proc/self/io");
        const auto start = Clock::now();
        work();
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        const IoCounters after = io_counters("/proc/self/io");
        if (seconds < m.best_seconds) {
            m.best_seconds = seconds;
            // Reading /proc/self/io itself costs reads; they are the same before and after.
            m.io = {after.read_calls - before.read_calls, after.read_bytes - before.read_bytes};
        }
    }
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    m.peak_kib = usage.ru_maxrss;
    return m;
}

std::uint32_t le32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

// The floor: the same chains walked in a mapping of the archive, their bytes copied out.
class MappedWalk {
  public:
    MappedWalk(std::span<const std::uint8_t> map, std::uint32_t block_size)
        : map_{map}, block_size_{block_size} {}

    std::uint64_t copied() const { return copied_; }

    std::vector<std::uint8_t> chain(std::uint32_t offset, std::uint32_t size) {
        std::vector<std::uint8_t> out(size);
        std::uint32_t filled = 0;
        while (filled < size) {
            const std::uint32_t next = le32(&map_[offset]);
            const std::uint32_t take =
                next == 0 ? size - filled : std::min(size - filled, block_size_ - 4);
            std::memcpy(out.data() + filled, &map_[std::uint64_t{offset} + 4], take);
            filled += take;
            offset = next;
        }
        copied_ += size;
        return out;
    }

    void directory(std::uint32_t offset,
                   std::vector<std::pair<std::uint32_t, std::uint32_t>>& clothing) {
        const auto node = chain(offset, tarnwick_dat::dat_node_length);
        const std::uint32_t count = le32(&node[248]);
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint8_t* entry = &node[252 + 24 * i];
            if (tarnwick_dat::from_id_in_dat(le32(entry + 4), tarnwick_dat::DatKind::Portal) ==
                tarnwick_dat::DatFileType::Clothing) {
                clothing.emplace_back(le32(entry + 8), le32(entry + 12));
            }
        }
        if (le32(&node[0]) == 0) {
            return;
        }
        for (std::uint32_t b = 0; b <= count && b < 62; ++b) {
            if (const std::uint32_t child = le32(&node[4 * b]); child != 0) {
                directory(child, clothing);
            }
        }
    }

  private:
    std::span<const std::uint8_t> map_;
    std::uint32_t block_size_;
    std::uint64_t copied_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: clothing_parity_bench ARCHIVE CHECK_PROGRAM [RUNS]\n");
        return 2;
    }
    const char* archive = argv[1];
    const char* program = argv[2];
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
    ::setenv("TARNWICK_PORTAL_DAT", archive, 1);

    Measure check;
    for (int i = 0; i < runs; ++i) {
        if (!run_check_once(program, check)) {
            return 1;
        }
    }

    std::size_t entries = 0;
    const Measure open = measure_in_process(runs, [&] {
        auto dat = DatDatabase::open(archive);
        if (!dat) {
            std::fprintf(stderr, "open: %s\n", dat.error().display().c_str());
            std::exit(1);
        }
        entries = dat->files.size();
    });

    std::uint64_t baseline_bytes = 0;
    std::size_t clothing_files = 0;
    const Measure baseline = measure_in_process(runs, [&] {
        const int fd = ::open(archive, O_RDONLY | O_CLOEXEC);
        struct stat info {};
        ::fstat(fd, &info);
        const auto size = static_cast<std::size_t>(info.st_size);
        void* map = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        ::close(fd);
        const std::span bytes{static_cast<const std::uint8_t*>(map), size};
        MappedWalk walk{bytes, le32(&bytes[324])};
        std::vector<std::pair<std::uint32_t, std::uint32_t>> clothing;
        walk.directory(le32(&bytes[352]), clothing);
        for (const auto& [offset, length] : clothing) {
            walk.chain(offset, length);
        }
        clothing_files = clothing.size();
        baseline_bytes = walk.copied();
        ::munmap(map, size);
    });

    std::printf("archive %s: %zu entries, %zu clothing files; best of %d runs\n", archive, entries,
                clothing_files, runs);
    print("whole parity check (program)", check);
    print("open archive (directory load)", open);
    print("baseline (one mapping, no reads)", baseline);
    std::printf("%-34s %12llu bytes copied from the mapping\n", "baseline bytes",
                static_cast<unsigned long long>(baseline_bytes));
    std::printf("ratio check / baseline: %.1f\n", check.best_seconds / baseline.best_seconds);
    return 0;
}
