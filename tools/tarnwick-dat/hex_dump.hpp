#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace tarnwick_tool {

// About 64 bytes around `position`, 16 to a line with their offsets and printable characters,
// and a line of "^^" under the byte at `position` (under the gap after the last byte when
// `position` is the end of the data).
std::string hex_dump_around(std::span<const std::uint8_t> bytes, std::uint64_t position);

}  // namespace tarnwick_tool
