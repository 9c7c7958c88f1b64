#pragma once

#include <source_location>
#include <string_view>

namespace runner {

// Ends the program as a failure of the calling thread: the failure report on standard error
// (thread name, kernel thread id, location, message, backtrace note), then exit status 101.
[[noreturn]] void fail_main_thread(std::string_view message,
                                   std::source_location location = std::source_location::current());

}  // namespace runner
