// Measures the clothing parity check and the inspection tool against floors of what their work
// costs at the least, as whole processes run side by side:
//   clothing_parity_bench [--runs N] [--no-valgrind] [--no-tool] BIN_DIR ARCHIVE...
// For each archive, the check (BIN_DIR/clothing_parity) against the positioned-read walker
// (BIN_DIR/read_walker), and the archive open alone in this process, whole and for its
// clothing alone as the check opens it, against the walker's directory walk; for the first archive
// (unless --no-tool), the tool's `verify` against `cat ARCHIVE > /dev/null`, `diff ARCHIVE ARCHIVE`
// against `verify`, `ls --format json` against text `ls`, and `extract` into a memory file system
// against BIN_DIR/extract_floor. Each pair runs interleaved, alternating which goes first; printed
// are the median and spread of wall time, user and system time, bytes read and read calls, peak
// memory, the ratios with their goals, and, under callgrind, the instructions and heap
// allocations (calls to the C allocator) of the check and the walker. Fails (status 1, with a
// message) when a program fails or the walker and the library disagree on what they read.

#include <malloc.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "pread_archive.hpp"
#include "process_stats.hpp"
#include "tarnwick_dat/file_type.hpp"
#include "tarnwick_dat/lib.hpp"

namespace {

namespace fs = std::filesystem;
using bench::ChildOutput;
using bench::Sample;
using tarnwick_dat::DatDatabase;

constexpr double check_goal = 1.3;
constexpr double tool_goal = 1.5;
// Comparing two archives reads both: twice what checking one costs.
constexpr double diff_goal = 2.0;
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
    std::uint64_t largest_file = 0;  // stored or expanded, whichever is longer
    std::uint64_t map_bytes = 0;     // heap the open archive holds: its directory
};

// Heap in use, blocks the allocator took straight from the system included.
std::size_t heap_in_use() {
    const struct mallinfo2 info = ::mallinfo2();
    return info.uordblks + info.hblkhd;
}

std::expected<LibraryView, std::string> read_through_library(const std::string& archive) {
    const auto whole = DatDatabase::open(archive);
    if (!whole) {
        return std::unexpected{"the library cannot open the archive: " + whole.error().display()};
    }
    LibraryView view;
    view.entries = whole->files().size();
    // The check's open: the clothing entries alone.
    const std::size_t heap_before = heap_in_use();
    const auto dat = DatDatabase::open(archive, tarnwick_dat::DatFileType::Clothing);
    if (!dat) {
        return std::unexpected{"the library cannot open the archive for its clothing: " +
                               dat.error().display()};
    }
    view.map_bytes = heap_in_use() - heap_before;
    for (const auto& [id, entry] : dat->files()) {
        auto bytes = dat->get_file(id);
        if (!bytes) {
            return std::unexpected{"the library cannot read a clothing file: " +
                                   bytes.error().display()};
        }
        ++view.clothing_files;
        view.stored_bytes += entry.size;
        view.largest_file = std::max<std::uint64_t>(
            {view.largest_file, entry.size, static_cast<std::uint64_t>(bytes->size())});
    }
    return view;
}

void require_agreement(const bench::FloorCounts& floor, const LibraryView& library) {
    const auto agree = [](const char* what, std::uint64_t ours, std::uint64_t theirs) {
        if (ours != theirs) {
            die(std::string{"the walker and the library disagree on "} + what + ": " +
                std::to_string(ours) + " against " + std::to_string(theirs));
        }
    };
    agree("directory entries", floor.entries, library.entries);
    agree("clothing files", floor.clothing_files, library.clothing_files);
    agree("stored clothing bytes", floor.stored_bytes, library.stored_bytes);
}

// One program of a comparison: how to run it once, checking what it did.
struct Program {
    std::string label;
    std::function<Sample()> run;
};

// A folder of this run's own, made afresh (never one that was there before) and removed with
// all it holds.
class PrivateFolder {
  public:
    explicit PrivateFolder(const fs::path& under) {
        std::string pattern = (under / "tarnwick-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            die("cannot create a folder in " + under.string());
        }
        path_ = pattern;
    }
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;
    ~PrivateFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }

    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

// What valgrind counts of one run: instructions, and heap blocks taken (calls to the C
// allocator), both from callgrind.
struct Counted {
    std::optional<unsigned long long> instructions;
    std::optional<unsigned long long> allocations;
};

// The number after `key` in valgrind's report, its thousands separators dropped.
std::optional<unsigned long long> number_after(const std::string& text, const std::string& key) {
    const auto at = text.find(key);
    if (at == std::string::npos) {
        return std::nullopt;
    }
    std::string digits;
    for (std::size_t i = at + key.size(); i < text.size(); ++i) {
        if (text[i] >= '0' && text[i] <= '9') {
            digits += text[i];
        } else if (text[i] != ',' && !(digits.empty() && text[i] == ' ')) {
            break;
        }
    }
    if (digits.empty()) {
        return std::nullopt;
    }
    return std::stoull(digits);
}

// The calls a callgrind profile records to the C allocator's functions: every heap block the
// program took (operator new and the containers come through malloc). Counted here rather than
// by memcheck, which cannot take over the allocator of a program linked whole.
std::optional<unsigned long long> allocator_calls(const fs::path& profile) {
    static const std::set<std::string, std::less<>> allocators{
        "malloc", "calloc", "realloc", "memalign", "aligned_alloc", "posix_memalign", "valloc"};
    std::ifstream in{profile};
    std::map<std::string, std::string, std::less<>> names;  // by the profile's "(id)"
    bool to_allocator = false;  // whether the next "calls=" line is one to the allocator
    unsigned long long calls = 0;
    std::string line;
    while (std::getline(in, line)) {
        const bool callee = line.starts_with("cfn=(");
        if (callee || line.starts_with("fn=(")) {
            // "fn=(id) name" names a function the first time, "fn=(id)" after.
            const std::size_t open = line.find('(');
            const std::size_t close = line.find(')', open);
            const std::string id = line.substr(open, close - open + 1);
            if (close + 1 < line.size()) {
                names[id] = line.substr(close + 2);
            }
            to_allocator = callee && allocators.contains(names[id]);
        } else if (to_allocator && line.starts_with("calls=")) {
            calls += std::stoull(line.substr(6));
            to_allocator = false;
        }
    }
    if (!in.eof()) {
        return std::nullopt;
    }
    return calls;
}

Counted count_under_valgrind(const std::vector<std::string>& argv) {
    const PrivateFolder folder{fs::temp_directory_path()};
    const fs::path profile = folder.path() / "callgrind.out";
    std::vector<std::string> tool{"/usr/bin/valgrind", "--tool=callgrind",
                                  "--callgrind-out-file=" + profile.string()};
    tool.insert(tool.end(), argv.begin(), argv.end());
    auto run = bench::run_child(tool, {.discard_output = true, .capture_errors = true});
    if (!run) {
        return {};
    }
    return {number_after(run->errors, "Collected :"), allocator_calls(profile)};
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

void print_heading(const std::string& title) {
    std::printf("\n%s\n%-34s %27s %7s %7s %11s %7s %9s %13s %11s\n", title.c_str(), "",
                "wall ms: median [min, max]", "user ms", "sys ms", "bytes read", "reads",
                "peak KiB", "instructions", "allocations");
}

std::string count_text(const std::optional<unsigned long long>& count) {
    return count ? std::to_string(*count) : "-";
}

void print_row(const std::string& label, const std::vector<Sample>& samples,
               const Counted& counted = {}) {
    const auto walls = column(samples, &Sample::wall_ms);
    const auto peaks = column(samples, &Sample::peak_kib);
    const double peak = *std::max_element(peaks.begin(), peaks.end());
    std::printf(
        "%-34s %9.2f [%7.2f, %7.2f] %7.2f %7.2f %11.0f %7.0f %9s %13s %11s\n", label.c_str(),
        median(walls), *std::min_element(walls.begin(), walls.end()),
        *std::max_element(walls.begin(), walls.end()), median(column(samples, &Sample::user_ms)),
        median(column(samples, &Sample::system_ms)), median(column(samples, &Sample::read_bytes)),
        median(column(samples, &Sample::read_calls)),
        peak > 0 ? std::to_string(static_cast<long>(peak)).c_str() : "-",
        count_text(counted.instructions).c_str(), count_text(counted.allocations).c_str());
}

// The ratio of the medians, and the median of the runs' own ratios (steadier when the load on
// the machine drifts during the loop).
void print_ratio(const std::string& what, const std::vector<Sample>& ours,
                 const std::vector<Sample>& floor, double goal) {
    std::vector<double> ratios;
    for (std::size_t i = 0; i < ours.size(); ++i) {
        ratios.push_back(ours[i].wall_ms / floor[i].wall_ms);
    }
    const double of_medians =
        median(column(ours, &Sample::wall_ms)) / median(column(floor, &Sample::wall_ms));
    std::printf(
        "ratio %s: %.2f of the medians, %.2f median of the runs' ratios [%.2f, %.2f] "
        "(goal %.1f: %s)\n",
        what.c_str(), of_medians, median(ratios), *std::min_element(ratios.begin(), ratios.end()),
        *std::max_element(ratios.begin(), ratios.end()), goal,
        median(ratios) <= goal ? "met" : "not met");
}

// Runs the two programs `runs` times each, interleaved, after one untimed run of each.
std::pair<std::vector<Sample>, std::vector<Sample>> interleave(const Program& ours,
                                                               const Program& floor, int runs) {
    ours.run();
    floor.run();
    std::vector<Sample> a;
    std::vector<Sample> b;
    for (int i = 0; i < runs; ++i) {
        // Alternating which goes first evens out what one run leaves behind for the next.
        if (i % 2 == 0) {
            a.push_back(ours.run());
            b.push_back(floor.run());
        } else {
            b.push_back(floor.run());
            a.push_back(ours.run());
        }
    }
    return {std::move(a), std::move(b)};
}

void compare(const std::string& title, const Program& ours, const Program& floor, int runs,
             double goal, const Counted& ours_counted = {}, const Counted& floor_counted = {}) {
    const auto [a, b] = interleave(ours, floor, runs);
    print_heading(title + ", " + std::to_string(runs) + " interleaved runs");
    print_row(ours.label, a, ours_counted);
    print_row(floor.label, b, floor_counted);
    print_ratio(ours.label + " / " + floor.label, a, b, goal);
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

Program in_process(std::string label, std::function<std::expected<void, std::string>()> work) {
    return {std::move(label), [work = std::move(work)] { return must(measure_in_process(work)); }};
}

void print_memory(const LibraryView& library, double check_peak_kib, const Sample& program_alone) {
    const double peak = mib(check_peak_kib * 1024);
    const double map = mib(static_cast<double>(library.map_bytes));
    const double files = mib(2.0 * static_cast<double>(library.largest_file));
    const double alone = mib(static_cast<double>(program_alone.peak_kib) * 1024);
    const double bound = map + files + alone + slack_mib;
    std::printf(
        "memory: directory %.2f MiB (heap the open archive holds), largest clothing file "
        "%.1f KiB\n"
        "  bound: directory + 2 x largest %.2f MiB + the program alone (--list) %.2f MiB + %.0f "
        "MiB = %.2f MiB; check's peak RSS %.2f MiB: %s\n",
        map, static_cast<double>(library.largest_file) / 1024, files, alone, slack_mib, bound, peak,
        peak <= bound ? "within" : "OVER");
}

struct Options {
    int runs = 9;
    bool valgrind = true;
    bool tool = true;
    std::string bin;
    std::vector<std::string> archives;
};

void bench_check(const Options& options, const std::string& archive) {
    const LibraryView library = must(read_through_library(archive));
    const std::string check_program = options.bin + "/clothing_parity";
    const std::string walker_program = options.bin + "/read_walker";
    const std::vector<std::string> check_argv{
        check_program, "--exact", "all_retail_clothing_tables_parse", "--test-threads=1"};
    const Program check{
        "check (clothing_parity)", [&] {
            ::setenv("TARNWICK_PORTAL_DAT", archive.c_str(), 1);
            auto run = must(bench::run_child(check_argv));
            if (run.output.find("test result: ok. 1 passed;") == std::string::npos) {
                die("the check did not run and pass; its output:\n" + run.output);
            }
            return run.sample;
        }};
    bench::FloorCounts counts;
    const Program walker{"floor (read_walker)", [&] {
                             auto run = must(bench::run_child({walker_program, archive}));
                             counts = must(bench::parse_counts(run.output));
                             require_agreement(counts, library);
                             return run.sample;
                         }};
    walker.run();
    std::printf(
        "\narchive %s: %llu directory entries in %llu nodes, %llu clothing files of %llu "
        "stored bytes; the walker reads them in %llu positioned reads\n",
        archive.c_str(), counts.entries, counts.nodes, counts.clothing_files, counts.stored_bytes,
        counts.reads);

    Counted check_counted;
    Counted walker_counted;
    if (options.valgrind) {
        ::setenv("TARNWICK_PORTAL_DAT", archive.c_str(), 1);
        check_counted = count_under_valgrind(check_argv);
        walker_counted = count_under_valgrind({walker_program, archive});
    }
    compare("whole check, as processes", check, walker, options.runs, check_goal, check_counted,
            walker_counted);

    const auto opening = [&](std::string label, auto open_archive) {
        return in_process(std::move(label), [&archive, open_archive] {
            if (auto dat = open_archive(archive); !dat) {
                return std::expected<void, std::string>{std::unexpected{dat.error().display()}};
            }
            return std::expected<void, std::string>{};
        });
    };
    const Program open = opening("library (DatDatabase::open)",
                                 [](const std::string& path) { return DatDatabase::open(path); });
    const Program open_clothing =
        opening("library (DatDatabase::open, Clothing)", [](const std::string& path) {
            return DatDatabase::open(path, tarnwick_dat::DatFileType::Clothing);
        });
    const Program walk = in_process("floor (walker's directory walk)", [&] {
        auto floor = bench::PreadArchive::open(archive.c_str());
        if (!floor) {
            return std::expected<void, std::string>{std::unexpected{floor.error()}};
        }
        return floor->walk_directory([](const bench::WalkedEntry&) {});
    });
    compare("open alone, in this process", open, walk, options.runs, check_goal);
    compare("open for the clothing alone (the check's), in this process", open_clothing, walk,
            options.runs, check_goal);

    // The peak of a few more runs of the check, beside the program's own over as many runs: a
    // single run of either varies by a few hundred KiB.
    double check_peak = 0;
    Sample alone = must(bench::run_child({check_program, "--list"})).sample;
    for (int i = 0; i < 3; ++i) {
        check_peak = std::max(check_peak, static_cast<double>(check.run().peak_kib));
        const Sample listed = must(bench::run_child({check_program, "--list"})).sample;
        alone.peak_kib = std::max(alone.peak_kib, listed.peak_kib);
    }
    print_memory(library, check_peak, alone);
}

// A fresh, empty folder in the memory file system for each run of an extraction.
class Scratch {
  public:
    // Empties the scratch folder and gives a new empty folder inside.
    std::string fresh() {
        fs::remove_all(out());
        fs::create_directory(out());
        return out().string();
    }
    std::size_t files_written() const {
        std::size_t files = 0;
        for (const auto& item : fs::recursive_directory_iterator(out())) {
            files += item.is_regular_file() ? 1u : 0u;
        }
        return files;
    }

  private:
    fs::path out() const { return root_.path() / "out"; }

    PrivateFolder root_{"/dev/shm"};
};

Program tool_program(std::string label, std::vector<std::string> argv, ChildOutput where = {}) {
    return {std::move(label),
            [argv = std::move(argv), where] { return must(bench::run_child(argv, where)).sample; }};
}

void bench_tool(const Options& options, const std::string& archive) {
    const std::string tool = options.bin + "/tarnwick-dat";
    constexpr ChildOutput discard{.discard_output = true};
    std::printf("\nthe tool on %s\n", archive.c_str());
    compare("verify", tool_program("tarnwick-dat verify", {tool, "verify", archive}),
            tool_program("floor (cat ARCHIVE > /dev/null)", {"/bin/cat", archive}, discard),
            options.runs, tool_goal);
    compare("diff",
            tool_program("tarnwick-dat diff ARCHIVE ARCHIVE", {tool, "diff", archive, archive}),
            tool_program("tarnwick-dat verify", {tool, "verify", archive}, discard), options.runs,
            diff_goal);
    compare("ls",
            tool_program("tarnwick-dat ls --format json", {tool, "ls", "--format", "json", archive},
                         discard),
            tool_program("floor (tarnwick-dat ls)", {tool, "ls", archive}, discard), options.runs,
            tool_goal);

    const std::uint64_t entries = must(read_through_library(archive)).entries;
    Scratch scratch;
    const auto extraction = [&](std::string label, std::vector<std::string> argv) {
        return Program{std::move(label), [&scratch, argv = std::move(argv), entries] {
                           std::vector<std::string> with_folder = argv;
                           with_folder.push_back(scratch.fresh());
                           const Sample sample = must(bench::run_child(with_folder, {})).sample;
                           if (scratch.files_written() != entries) {
                               die(argv[0] + " wrote " + std::to_string(scratch.files_written()) +
                                   " files of the " + std::to_string(entries));
                           }
                           return sample;
                       }};
    };
    compare("extract into /dev/shm", extraction("tarnwick-dat extract", {tool, "extract", archive}),
            extraction("floor (extract_floor)", {options.bin + "/extract_floor", archive}),
            options.runs, tool_goal);
}

std::optional<Options> parse_options(int argc, char** argv) {
    Options options;
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; ++i) {
        const std::string option = argv[i];
        if (option == "--runs" && i + 1 < argc) {
            options.runs = std::max(1, std::atoi(argv[++i]));
        } else if (option == "--no-valgrind") {
            options.valgrind = false;
        } else if (option == "--no-tool") {
            options.tool = false;
        } else {
            return std::nullopt;
        }
    }
    if (argc - i < 2) {
        return std::nullopt;
    }
    options.bin = argv[i++];
    options.archives.assign(argv + i, argv + argc);
    return options;
}

}  // namespace

int main(int argc, char** argv) {
    const auto options = parse_options(argc, argv);
    if (!options) {
        std::fprintf(stderr,
                     "usage: clothing_parity_bench [--runs N] [--no-valgrind] [--no-tool] BIN_DIR "
                     "ARCHIVE...\n");
        return 2;
    }
    if (options->valgrind && !fs::exists("/usr/bin/valgrind")) {
        std::printf("valgrind not found: no instruction or allocation counts\n");
    }
    Options chosen = *options;
    chosen.valgrind = options->valgrind && fs::exists("/usr/bin/valgrind");
    for (const std::string& archive : chosen.archives) {
        bench_check(chosen, archive);
    }
    if (chosen.tool) {
        bench_tool(chosen, chosen.archives.front());
    }
    return 0;
}
