// Measures the clothing parity check against what the hardware allows:
//   clothing_parity_bench ARCHIVE CHECK_PROGRAM BASELINE_PROGRAM [RUNS]
// The whole check and the baseline program (clothing_baseline) run as processes, side by side in
// one loop; the archive open alone (header and whole directory) runs in this process beside a
// walk of the directory in a mapping. Prints the median and spread of wall time, user and system
// time, bytes read and read calls, peak memory, the ratios, and the memory bound. Fails (status
// 1, with a message) when a child fails or the baseline and the library disagree on the bytes.

#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "mapped_archive.hpp"
#include "process_stats.hpp"
#include "tarnwick_dat/file_type.hpp"
#include "tarnwick_dat/lib.hpp"

namespace {

using bench::Sample;
using tarnwick_dat::DatDatabase;

constexpr std::uint64_t header_length = 80;
// The memory goal's "few MiB": the program alone (its code, libraries and runner, measured) and
// this much more for the check's thread and the allocator's slack.
constexpr double slack_mib = 1;

[[noreturn]] void die(const std::string& message) {
    std::fprintf(stderr, "clothing_parity_bench: %s\n", message.c_str());
    std::exit(1);
}

template <class T>
T must(std::expected<T, std::string> value) {
    if (!value) {
        die(value.error());
    }
    return std::move(*value);
}

double mib(double bytes) {
    return bytes / (1024.0 * 1024.0);
}

// What the check reads, as the library itself gives it.
struct LibraryView {
    std::uint64_t entries = 0;
    std::uint64_t clothing_files = 0;
    std::uint64_t stored_bytes = 0;
    std::uint64_t expanded_bytes = 0;
    std::uint64_t largest_file = 0;  // stored or expanded, whichever is longer
    std::uint64_t map_bytes = 0;     // heap the open archive holds: its directory map
};

// Heap in use, blocks the allocator took straight from the system included.
std::size_t heap_in_use() {
    const struct mallinfo2 info = ::mallinfo2();
    return info.uordblks + info.hblkhd;
}

std::expected<LibraryView, std::string> read_through_library(const char* archive) {
    const std::size_t heap_before = heap_in_use();
    auto dat = DatDatabase::open(archive);
    if (!dat) {
        return std::unexpected{"the library cannot open the archive: " + dat.error().display()};
    }
    LibraryView view;
    view.map_bytes = heap_in_use() - heap_before;
    view.entries = dat->files().size();
    for (const auto& [id, entry] : dat->files()) {
        if (tarnwick_dat::from_id_in_dat(id, dat->dat_kind()) !=
            tarnwick_dat::DatFileType::Clothing) {
            continue;
        }
        auto bytes = dat->get_file(id);
        if (!bytes) {
            return std::unexpected{"the library cannot read a clothing file: " +
                                   bytes.error().display()};
        }
        ++view.clothing_files;
        view.stored_bytes += entry.size;
        view.expanded_bytes += bytes->size();
        view.largest_file = std::max<std::uint64_t>(
            {view.largest_file, entry.size, static_cast<std::uint64_t>(bytes->size())});
    }
    return view;
}

void require_agreement(const bench::BaselineCounts& baseline, const LibraryView& library) {
    const auto agree = [](const char* what, std::uint64_t ours, std::uint64_t theirs) {
        if (ours != theirs) {
            die(std::string{"the baseline and the library disagree on "} + what + ": " +
                std::to_string(ours) + " against " + std::to_string(theirs));
        }
    };
    agree("directory entries", baseline.entries, library.entries);
    agree("clothing files", baseline.clothing_files, library.clothing_files);
    agree("stored clothing bytes", baseline.stored_bytes, library.stored_bytes);
    agree("expanded clothing bytes", baseline.expanded_bytes, library.expanded_bytes);
}

// Bytes any reader of the archive must be handed: the header, the nodes and the clothing files.
std::uint64_t payload_bytes(const bench::BaselineCounts& counts) {
    return header_length + counts.nodes * tarnwick_dat::dat_node_length + counts.stored_bytes;
}

Sample run_check(const char* program, std::uint64_t payload) {
    auto run = must(bench::run_child(
        {program, "--exact", "all_retail_clothing_tables_parse", "--test-threads=1"}));
    if (run.output.find("test result: ok. 1 passed;") == std::string::npos) {
        die(std::string{"the check did not run and pass; its output:\n"} + run.output);
    }
    if (run.sample.read_bytes < payload) {
        die("the check read " + std::to_string(run.sample.read_bytes) + " bytes, fewer than the " +
            std::to_string(payload) + " its files hold");
    }
    return run.sample;
}

Sample run_baseline(const char* program, const char* archive, const LibraryView& library,
                    bench::BaselineCounts& counts) {
    auto run = must(bench::run_child({program, archive}));
    counts = must(bench::parse_counts(run.output));
    require_agreement(counts, library);
    return run.sample;
}

std::expected<Sample, std::string> measure_in_process(
    const std::function<std::expected<void, std::string>()>& work) {
    const auto io_before = bench::read_io_counters("/proc/self/io");
    rusage usage_before{};
    ::getrusage(RUSAGE_SELF, &usage_before);
    const auto start = std::chrono::steady_clock::now();
    auto done = work();
    const auto end = std::chrono::steady_clock::now();
    rusage usage_after{};
    ::getrusage(RUSAGE_SELF, &usage_after);
    const auto io_after = bench::read_io_counters("/proc/self/io");
    if (!done) {
        return std::unexpected{done.error()};
    }
    if (!io_before || !io_after) {
        return std::unexpected{"cannot read /proc/self/io"};
    }
    const auto ms = [](const timeval& a, const timeval& b) {
        return static_cast<double>(b.tv_sec - a.tv_sec) * 1e3 +
               static_cast<double>(b.tv_usec - a.tv_usec) / 1e3;
    };
    const bench::IoCounters io = bench::self_io_between(*io_before, *io_after);
    return Sample{std::chrono::duration<double, std::milli>(end - start).count(),
                  ms(usage_before.ru_utime, usage_after.ru_utime),
                  ms(usage_before.ru_stime, usage_after.ru_stime),
                  io.read_bytes,
                  io.read_calls,
                  usage_after.ru_minflt - usage_before.ru_minflt,
                  0};
}

std::expected<void, std::string> open_through_library(const char* archive) {
    if (auto dat = DatDatabase::open(archive); !dat) {
        return std::unexpected{"open: " + dat.error().display()};
    }
    return {};
}

std::expected<void, std::string> walk_mapped_directory(const char* archive,
                                                       std::uint64_t expected_entries) {
    auto mapped = bench::MappedArchive::map(archive);
    if (!mapped) {
        return std::unexpected{mapped.error()};
    }
    std::uint64_t entries = 0;
    if (auto walked = mapped->walk_directory([&](const bench::MappedEntry&) { ++entries; });
        !walked) {
        return walked;
    }
    if (entries != expected_entries) {
        return std::unexpected{"the mapped directory walk saw " + std::to_string(entries) +
                               " entries, the library " + std::to_string(expected_entries)};
    }
    return {};
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 == 1 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

template <class Field>
std::vector<double> column(const std::vector<Sample>& samples, Field field) {
    std::vector<double> values;
    for (const Sample& sample : samples) {
        values.push_back(static_cast<double>(sample.*field));
    }
    return values;
}

void print_heading(const char* title) {
    std::printf("\n%s\n%-30s %27s %8s %8s %11s %10s %8s %9s\n", title, "",
                "wall ms: median [min, max]", "user ms", "sys ms", "bytes read", "read calls",
                "faults", "peak KiB");
}

void print_row(const char* label, const std::vector<Sample>& samples) {
    const auto walls = column(samples, &Sample::wall_ms);
    const auto peak = column(samples, &Sample::peak_kib);
    std::printf(
        "%-30s %9.2f [%7.2f, %7.2f] %8.2f %8.2f %11.0f %10.0f %8.0f", label, median(walls),
        *std::min_element(walls.begin(), walls.end()),
        *std::max_element(walls.begin(), walls.end()), median(column(samples, &Sample::user_ms)),
        median(column(samples, &Sample::system_ms)), median(column(samples, &Sample::read_bytes)),
        median(column(samples, &Sample::read_calls)),
        median(column(samples, &Sample::minor_faults)));
    const double max_peak = *std::max_element(peak.begin(), peak.end());
    if (max_peak > 0) {
        std::printf(" %9.0f\n", max_peak);
    } else {
        std::printf(" %9s\n", "-");
    }
}

// The ratio of the medians, and the median of the runs' own ratios (steadier when the load on
// the machine drifts during the loop).
void print_ratio(const char* what, const std::vector<Sample>& ours,
                 const std::vector<Sample>& floor) {
    std::vector<double> ratios;
    for (std::size_t i = 0; i < ours.size(); ++i) {
        ratios.push_back(ours[i].wall_ms / floor[i].wall_ms);
    }
    std::printf("ratio %s: %.2f of the medians, %.2f median of the runs' ratios (goal 1.5)\n", what,
                median(column(ours, &Sample::wall_ms)) / median(column(floor, &Sample::wall_ms)),
                median(ratios));
}

void print_memory(const LibraryView& library, const std::vector<Sample>& check,
                  const Sample& program_alone) {
    const auto peaks = column(check, &Sample::peak_kib);
    const double peak = mib(*std::max_element(peaks.begin(), peaks.end()) * 1024);
    const double map = mib(static_cast<double>(library.map_bytes));
    const double files = mib(2.0 * static_cast<double>(library.largest_file));
    const double alone = mib(static_cast<double>(program_alone.peak_kib) * 1024);
    const double bound = map + files + alone + slack_mib;
    std::printf(
        "\nmemory: directory map %.2f MiB (heap the open archive holds), largest clothing file "
        "%.1f KiB\n"
        "  bound: map + 2 x largest %.2f MiB + the program alone (--list) %.2f MiB + %.0f MiB = "
        "%.2f MiB; check's peak RSS %.2f MiB: %s\n",
        map, static_cast<double>(library.largest_file) / 1024, files, alone, slack_mib, bound, peak,
        peak <= bound ? "within" : "OVER");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(
            stderr, "usage: clothing_parity_bench ARCHIVE CHECK_PROGRAM BASELINE_PROGRAM [RUNS]\n");
        return 2;
    }
    const char* archive = argv[1];
    const char* check_program = argv[2];
    const char* baseline_program = argv[3];
    const int runs = argc > 4 ? std::max(1, std::atoi(argv[4])) : 5;
    ::setenv("TARNWICK_PORTAL_DAT", archive, 1);

    const LibraryView library = must(read_through_library(archive));
    bench::BaselineCounts counts;
    // A first run of each warms the page cache and checks that both work before timing.
    run_baseline(baseline_program, archive, library, counts);
    run_check(check_program, payload_bytes(counts));

    std::vector<Sample> check;
    std::vector<Sample> baseline;
    for (int i = 0; i < runs; ++i) {
        // Alternating which goes first evens out what one run leaves behind for the next.
        if (i % 2 == 0) {
            check.push_back(run_check(check_program, payload_bytes(counts)));
            baseline.push_back(run_baseline(baseline_program, archive, library, counts));
        } else {
            baseline.push_back(run_baseline(baseline_program, archive, library, counts));
            check.push_back(run_check(check_program, payload_bytes(counts)));
        }
    }

    std::vector<Sample> open;
    std::vector<Sample> directory;
    for (int i = 0; i < runs; ++i) {
        open.push_back(must(measure_in_process([&] { return open_through_library(archive); })));
        directory.push_back(must(
            measure_in_process([&] { return walk_mapped_directory(archive, library.entries); })));
    }
    const Sample program_alone = must(bench::run_child({check_program, "--list"})).sample;

    std::printf("archive %s: %llu directory entries in %llu nodes, %llu clothing files\n", archive,
                counts.entries, counts.nodes, counts.clothing_files);
    std::printf(
        "bytes to read: header %llu + directory %llu + clothing %llu stored (%llu expanded) = "
        "%llu, in chains of %llu link words\n"
        "the baseline copied exactly these; the library's open and get_file give the same "
        "entries, files and byte counts\n",
        static_cast<unsigned long long>(header_length),
        counts.nodes * tarnwick_dat::dat_node_length, counts.stored_bytes, counts.expanded_bytes,
        static_cast<unsigned long long>(payload_bytes(counts)), counts.link_words);

    print_heading(
        ("whole check, as processes, " + std::to_string(runs) + " interleaved runs").c_str());
    print_row("check (clothing_parity)", check);
    print_row("baseline (mapping, no reads)", baseline);
    print_ratio("check / baseline", check, baseline);
    std::printf(
        "the check read %.0f bytes more than the bytes to read (link words, program start, and "
        "the kernel's reads of the program at exec)\n",
        median(column(check, &Sample::read_bytes)) - static_cast<double>(payload_bytes(counts)));

    print_heading(
        ("open alone, in this process, " + std::to_string(runs) + " interleaved runs").c_str());
    print_row("library (DatDatabase::open)", open);
    print_row("directory copied from a mapping", directory);
    print_ratio("open / directory baseline", open, directory);

    print_memory(library, check, program_alone);
    return 0;
}
