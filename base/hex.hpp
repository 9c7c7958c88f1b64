#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarnwick_base {

// Lower-case hexadecimal without leading zeros ("1a").
std::string hex_lower(std::uint64_t value);
// Upper-case hexadecimal, zero-padded to at least `width` digits ("0000002A").
std::string hex_upper(std::uint64_t value, std::size_t width = 8);

}  // namespace tarnwick_base
