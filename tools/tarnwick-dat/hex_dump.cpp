#include "hex_dump.hpp"

#include <algorithm>

#include "archive.hpp"

namespace tarnwick_tool {

namespace {

constexpr std::uint64_t per_line = 16;
constexpr std::uint64_t lines_before = 2;
constexpr std::uint64_t window = 64;
constexpr std::size_t offset_width = 8;
constexpr std::size_t bytes_column = offset_width + 2;

// Where the byte `i` of a line starts: three characters a byte, one more space after eight.
std::size_t byte_column(std::uint64_t i) {
    return bytes_column + 3 * i + (i >= per_line / 2 ? 1 : 0);
}

std::string dump_line(std::span<const std::uint8_t> bytes, std::uint64_t start) {
    std::string line = base::hex_upper(start, offset_width);
    std::string printable;
    for (std::uint64_t i = 0; i < per_line; ++i) {
        line.resize(byte_column(i), ' ');
        if (start + i < bytes.size()) {
            const std::uint8_t byte = bytes[start + i];
            line += base::hex_upper(byte, 2);
            printable += byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '.';
        }
    }
    line.resize(byte_column(per_line) + 1, ' ');
    return line + "|" + printable + "|\n";
}

}  // namespace

DumpRange dump_range(std::size_t size, std::uint64_t position) {
    position = std::min<std::uint64_t>(position, size);
    const std::uint64_t line_of_position = position - position % per_line;
    const std::uint64_t start =
        line_of_position - std::min(line_of_position, lines_before * per_line);
    return {start, std::min<std::uint64_t>(size, start + window)};
}

std::string hex_dump_around(std::span<const std::uint8_t> bytes, std::uint64_t position) {
    position = std::min<std::uint64_t>(position, bytes.size());
    const std::uint64_t line_of_position = position - position % per_line;
    const DumpRange range = dump_range(bytes.size(), position);
    // The line of `position` is shown even when it lies just past the data.
    const std::uint64_t end = std::max<std::uint64_t>(range.end, position + 1);
    std::string dump;
    for (std::uint64_t line = range.start; line < end; line += per_line) {
        dump += dump_line(bytes, line);
        if (line == line_of_position) {
            dump += std::string(byte_column(position - line), ' ') +
                    "^^ reading stopped here, at offset 0x" + base::hex_lower(position) + "\n";
        }
    }
    return dump;
}

}  // namespace tarnwick_tool
