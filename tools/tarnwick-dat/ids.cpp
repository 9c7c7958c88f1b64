#include "ids.hpp"

#include <charconv>
#include <ctime>

#include "archive.hpp"

namespace tarnwick_tool {

std::string format_id(std::uint32_t id) {
    return "0x" + base::hex_upper(id, 8);
}

std::optional<std::uint32_t> parse_id(std::string_view text) {
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
    }
    constexpr std::size_t max_digits = 8;
    if (text.empty() || text.size() > max_digits) {
        return std::nullopt;
    }
    std::uint32_t id = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), id, 16);
    if (error != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return id;
}

std::string iso_timestamp(std::uint32_t seconds) {
    const std::time_t time = seconds;
    std::tm utc{};
    ::gmtime_r(&time, &utc);
    char text[sizeof "2004-03-01T12:00:00Z"];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

}  // namespace tarnwick_tool
