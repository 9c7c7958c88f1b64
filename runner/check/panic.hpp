#pragma once

#include <optional>
#include <source_location>
#include <string>
#include <string_view>

#include "tarnwick_base/io_error.hpp"

namespace runner {

// Thrown by a failed assertion once its report is written; caught at the check's boundary.
struct AssertionFailure {
    std::string message;
};

// Writes the failure report of the calling thread through `eprint` (so into its capture):
// "\nthread 'NAME' (TID) panicked at FILE:LINE:COL:\nMESSAGE\n", then the backtrace note (first
// failure of the process only) or a backtrace. Without a location the " at ..." part is left out.
void report_failure(std::string_view message, std::optional<std::source_location> location);

// Reports the failure and ends the check: throws AssertionFailure.
[[noreturn]] void panic(std::string message,
                        std::source_location location = std::source_location::current());

// Ends the program as a failure of the calling thread: the failure report on standard error
// (thread name, kernel thread id, location, message, backtrace note), then exit status 101.
[[noreturn]] void fail_main_thread(std::string_view message,
                                   std::source_location location = std::source_location::current());

// Ends the program after a failed write of its report or listing: "error: io error when listing
// tests: " and the error's structured rendering on standard error, then exit status 101.
[[noreturn]] void exit_with_output_error(const tarnwick_base::IoError& error);

// Makes the next failure the first of the process again, so that it carries the backtrace note.
// For runs that must not depend on failures before them in the same process.
void reset_first_failure_mark();

}  // namespace runner
