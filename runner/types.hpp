#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace runner {

// Whether a check is expected to end in failure.
struct ShouldPanic {
    enum class Mode { No, Yes, YesWithText };
    Mode mode = Mode::No;
    std::string expected;  // the text the failure message must contain, for YesWithText

    static ShouldPanic no() { return {}; }
    static ShouldPanic yes() { return {Mode::Yes, {}}; }
    static ShouldPanic with_text(std::string text) { return {Mode::YesWithText, std::move(text)}; }
};

// Selects the time limits and the junit class name.
enum class TestKind : std::uint8_t { Unit = 0, Integration = 1, DocTest = 2, Unknown = 3 };

struct TestDesc {
    std::string name;
    bool ignore = false;
    std::optional<std::string> ignore_message;
    std::string source_path;
    std::size_t start_line = 0;
    std::size_t start_col = 0;
    std::size_t end_line = 0;
    std::size_t end_col = 0;
    ShouldPanic should_panic;
    bool compile_fail = false;
    bool no_run = false;
    TestKind test_kind = TestKind::Unknown;
};

class Bencher;

// What a check's entry gives: success, or an error text counted as a failure.
using TestOutcome = std::expected<void, std::string>;
using StaticTestFn = TestOutcome (*)();
using StaticBenchFn = TestOutcome (*)(Bencher&);
using DynTestFn = std::function<TestOutcome()>;
using DynBenchFn = std::function<TestOutcome(Bencher&)>;
using TestFn = std::variant<StaticTestFn, StaticBenchFn, DynTestFn, DynBenchFn>;

inline bool is_benchmark(const TestFn& testfn) {
    return std::holds_alternative<StaticBenchFn>(testfn) ||
           std::holds_alternative<DynBenchFn>(testfn);
}

struct TestDescAndFn {
    TestDesc desc;
    TestFn testfn;
};

enum class RunIgnored { No, Yes, Only };
enum class ColorConfig { Auto, Always, Never };
enum class OutputFormat { Pretty, Terse, Json, Junit };

// A check's time counts as over a limit when it is equal to or greater than it.
struct TimeThreshold {
    std::chrono::nanoseconds warn;
    std::chrono::nanoseconds critical;
};

struct TestTimeOptions {
    bool error_on_excess = false;  // --ensure-time
    TimeThreshold unit_threshold{std::chrono::milliseconds{50}, std::chrono::milliseconds{100}};
    TimeThreshold integration_threshold{std::chrono::milliseconds{500}, std::chrono::seconds{1}};
    TimeThreshold doctest_threshold{std::chrono::milliseconds{500}, std::chrono::seconds{1}};
    TimeThreshold unknown_threshold{std::chrono::seconds{60}, std::chrono::seconds{120}};
};

// The runner options, every field at its default.
struct TestOpts {
    bool list = false;
    std::vector<std::string> filters;
    bool filter_exact = false;
    bool force_run_in_process = false;
    bool exclude_should_panic = false;
    RunIgnored run_ignored = RunIgnored::No;
    bool run_tests = true;
    bool bench_benchmarks = false;
    std::optional<std::filesystem::path> logfile;
    bool nocapture = false;
    ColorConfig color = ColorConfig::Auto;
    OutputFormat format = OutputFormat::Pretty;
    bool shuffle = false;
    std::optional<std::uint64_t> shuffle_seed;
    std::optional<std::size_t> test_threads;
    std::vector<std::string> skip;
    std::optional<TestTimeOptions> time_options;  // --report-time / --ensure-time
    bool show_output = false;
    bool fail_fast = false;
};

}  // namespace runner
