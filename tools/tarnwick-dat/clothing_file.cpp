#include "clothing_file.hpp"

#include "ids.hpp"

namespace tarnwick_tool {

ClothingReading read_clothing_file(std::span<const std::uint8_t> bytes, std::uint32_t id) {
    dat::ByteReader reader{bytes};
    auto table = dat::ClothingTable::read(reader, dat::Endian::Little);
    // Memory always knows its position.
    const std::uint64_t stopped = reader.position().value_or(0);
    ClothingReading reading;
    if (!table) {
        reading.problem = {dat::DatError{std::move(table.error())}.message(), stopped};
        return reading;
    }
    if (stopped != bytes.size()) {
        reading.problem = {std::to_string(bytes.size() - stopped) +
                               " bytes left after the table, which ends at offset 0x" +
                               base::hex_lower(stopped),
                           stopped};
    } else if (table->id != id) {
        reading.problem = {"the table names itself " + format_id(table->id), 0};
    }
    reading.table = std::move(*table);
    return reading;
}

}  // namespace tarnwick_tool
