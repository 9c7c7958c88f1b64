#include "tarnwick_dat/file_type/clothing_writer.hpp"

#include "tarnwick_base/little_endian.hpp"

namespace tarnwick_dat {

void ClothingWriter::u16(std::uint16_t value) {
    tarnwick_base::append_le(bytes_, value);
}

void ClothingWriter::u32(std::uint32_t value) {
    tarnwick_base::append_le(bytes_, value);
}

std::uint32_t ClothingWriter::fitted(std::size_t count, std::uint32_t max) {
    if (count <= max) {
        return static_cast<std::uint32_t>(count);
    }
    if (!overflow_) {
        overflow_ =
            std::to_string(count) + " entries do not fit a count of at most " + std::to_string(max);
    }
    return max;
}

void ClothingWriter::packed_table_head(std::size_t entries) {
    u16(static_cast<std::uint16_t>(fitted(entries, std::numeric_limits<std::uint16_t>::max())));
    u16(bucket_size_);
}

std::expected<std::vector<std::uint8_t>, DatError> ClothingWriter::finish() && {
    if (overflow_) {
        return std::unexpected{DatError{DatError::Other{std::move(*overflow_)}}};
    }
    return std::move(bytes_);
}

std::expected<std::vector<std::uint8_t>, DatError> write_clothing_table(const ClothingTable& table,
                                                                        std::uint16_t bucket_size) {
    ClothingWriter writer{bucket_size};
    writer.write(table);
    return std::move(writer).finish();
}

}  // namespace tarnwick_dat
