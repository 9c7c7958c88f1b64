#pragma once

#include <string>

#include "runner/test_result.hpp"

namespace runner {

// "0.012s": a check's time with three decimals.
std::string display(const TestExecTime& time);
// "0.35s": the whole run's time with two decimals.
std::string display(const TestSuiteExecTime& time);

}  // namespace runner
