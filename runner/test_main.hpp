#pragma once

#include <span>
#include <string>
#include <vector>

#include "runner/types.hpp"

namespace runner {

// The whole run from the command line. Returns when help was shown, the listing was written or
// every check passed; otherwise ends the process with status 101.
void test_main(const std::vector<std::string>& arguments, std::vector<TestDescAndFn> tests);

// The entry for a compiled-in registry: reads the process's arguments and runs owned copies of
// the records. Every record must have a plain function or plain benchmark function as entry.
void test_main_static(std::span<const TestDescAndFn* const> tests);

// A copy of the descriptor and of the entry.
TestDescAndFn make_owned_test(const TestDescAndFn& test);

// A check body's result as the entry's result: status 0 (an empty result) is success, any other
// status an error text.
TestOutcome assert_test_result(int status = 0);

// Every argument of the process, its own path first, as the kernel recorded them.
std::vector<std::string> process_arguments();

}  // namespace runner
