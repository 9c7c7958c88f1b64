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

void ClothingWriter::write(const CloSubPaletteRange& range) {
    u32(range.offset);
    u32(range.num_colors);
}

void ClothingWriter::write(const CloSubPalette& palette) {
    list(palette.ranges);
    u32(palette.palette_set);
}

void ClothingWriter::write(const CloSubPalEffect& effect) {
    u32(effect.icon);
    list(effect.clo_sub_palettes);
}

void ClothingWriter::write(const CloTextureEffect& effect) {
    u32(effect.old_texture);
    u32(effect.new_texture);
}

void ClothingWriter::write(const CloObjectEffect& effect) {
    u32(effect.index);
    u32(effect.model_id);
    list(effect.clo_texture_effects);
}

void ClothingWriter::write(const ClothingBaseEffect& effect) {
    list(effect.clo_object_effects);
}

void ClothingWriter::write(const ClothingTable& table) {
    u32(table.id);
    packed_table(table.clothing_base_effects);
    packed_table(table.clothing_sub_pal_effects);
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
