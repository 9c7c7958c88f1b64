#include "runner/report/time_display.hpp"

#include <charconv>
#include <chrono>

namespace runner {
namespace {

std::string seconds_with_decimals(std::chrono::nanoseconds duration, int decimals) {
    const double seconds = std::chrono::duration<double>(duration).count();
    char buffer[64];
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, seconds, std::chars_format::fixed, decimals);
    return std::string{buffer, ec == std::errc{} ? end : buffer} + "s";
}

}  // namespace

std::string display(const TestExecTime& time) {
    return seconds_with_decimals(time.duration, 3);
}

std::string display(const TestSuiteExecTime& time) {
    return seconds_with_decimals(time.duration, 2);
}

}  // namespace runner
