#pragma once

#include <cstdint>
#include <vector>

#include "runner/types.hpp"

namespace runner {

// The checks the options select, in the order handed in.
std::vector<TestDescAndFn> filter_tests(const TestOpts& opts, std::vector<TestDescAndFn> tests);

// Reorders the checks by a seeded shuffle that is the same on every machine.
void shuffle_tests(std::uint64_t seed, std::vector<TestDescAndFn>& tests);

}  // namespace runner
