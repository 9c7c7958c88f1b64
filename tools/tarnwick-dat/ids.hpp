#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarnwick_tool {

// An id as the tool writes it everywhere: "0x" and eight upper-case hexadecimal digits.
std::string format_id(std::uint32_t id);

// An id as the tool reads it: an optional "0x" or "0X", then 1 to 8 hexadecimal digits of
// either case. Nothing else is an id.
std::optional<std::uint32_t> parse_id(std::string_view text);

// Seconds since 1970 as UTC ISO 8601 ("2004-03-01T12:00:00Z").
std::string iso_timestamp(std::uint32_t seconds);

}  // namespace tarnwick_tool
