#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarnwick_dat {

// The bytes as UTF-8 text, each maximal invalid sequence replaced by U+FFFD.
std::string utf8_lossy(std::string_view bytes);

// The text in double quotes, with quotes, backslashes and control characters escaped;
// bytes that are not valid UTF-8 appear as \xNN.
std::string debug_quoted(std::string_view text);

// Lower-case hexadecimal without leading zeros ("1a").
std::string hex_lower(std::uint64_t value);
// Upper-case hexadecimal, zero-padded to at least `width` digits ("0000002A").
std::string hex_upper(std::uint64_t value, std::size_t width = 8);

}  // namespace tarnwick_dat
