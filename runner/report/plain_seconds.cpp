#include "runner/report/plain_seconds.hpp"

#include <charconv>

namespace runner {

std::string plain_decimal(double value) {
    // Wide enough for the longest fixed rendering of any double.
    char buffer[400];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    return ec == std::errc{} ? std::string{buffer, end} : std::string{"0"};
}

std::string plain_seconds(std::chrono::nanoseconds duration) {
    // Whole seconds and the nanoseconds are converted apart, so that long runs keep every digit.
    auto whole = std::chrono::duration_cast<std::chrono::seconds>(duration);
    auto nanos = (duration - whole).count();
    return plain_decimal(static_cast<double>(whole.count()) + static_cast<double>(nanos) / 1e9);
}

}  // namespace runner
