#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace tarnwick_tool {

// The bytes a dump around `position` shows, of data `size` bytes long: [start, end).
struct DumpRange {
    std::uint64_t start;
    std::uint64_t end;
};
DumpRange dump_range(std::size_t size, std::uint64_t position);

// About 64 bytes around `position`, 16 to a line with their offsets and printable characters,
// and a line of "^^" under the byte at `position` (under the gap after the last byte when
// `position` is the end of the data).
std::string hex_dump_around(std::span<const std::uint8_t> bytes, std::uint64_t position);

}  // namespace tarnwick_tool
