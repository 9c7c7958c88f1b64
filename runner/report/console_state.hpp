#pragma once

#include <cstddef>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "runner/test_result.hpp"
#include "runner/types.hpp"

namespace runner {

// A check's descriptor with its captured output.
using DescAndOutput = std::pair<TestDesc, std::string>;

// The bookkeeping of one run, behind the summary and the end-of-run sections.
struct ConsoleTestState {
    std::optional<std::ofstream> log_out;
    std::size_t total = 0;
    std::size_t passed = 0;
    std::size_t failed = 0;
    std::size_t ignored = 0;
    std::size_t filtered_out = 0;
    std::size_t measured = 0;
    std::optional<TestSuiteExecTime> exec_time;
    std::map<std::string, BenchSamples> metrics;
    std::vector<DescAndOutput> failures;
    std::vector<DescAndOutput> not_failures;
    std::vector<DescAndOutput> ignores;
    std::vector<DescAndOutput> time_failures;
    bool show_output = false;
};

// The counts behind a listing (--list).
struct ConsoleTestDiscoveryState {
    std::optional<std::ofstream> log_out;
    std::size_t tests = 0;
    std::size_t benchmarks = 0;
    std::size_t ignored = 0;
};

}  // namespace runner
