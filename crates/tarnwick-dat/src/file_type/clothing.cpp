#include "tarnwick_dat/file_type/clothing.hpp"

#include "tarnwick_base/expected.hpp"
#include "tarnwick_dat/file_type/packable_hash_table.hpp"

namespace tarnwick_dat {

std::expected<CloSubPaletteRange, ReadError> CloSubPaletteRange::read(Reader& reader) {
    RecordReader record{reader};
    CloSubPaletteRange range;
    record.u32(range.offset, offset_site);
    record.u32(range.num_colors, num_colors_site);
    return record.finish(std::move(range));
}

std::expected<CloSubPalette, ReadError> CloSubPalette::read(Reader& reader) {
    RecordReader record{reader};
    CloSubPalette palette;
    std::uint32_t num_ranges = 0;
    record.u32(num_ranges, num_ranges_site);
    record.records(palette.ranges, num_ranges, ranges_site);
    record.u32(palette.palette_set, palette_set_site);
    return record.finish(std::move(palette));
}

std::expected<CloSubPalEffect, ReadError> CloSubPalEffect::read(Reader& reader) {
    RecordReader record{reader};
    CloSubPalEffect effect;
    std::uint32_t num_clo_sub_palettes = 0;
    record.u32(effect.icon, icon_site);
    record.u32(num_clo_sub_palettes, num_clo_sub_palettes_site);
    record.records(effect.clo_sub_palettes, num_clo_sub_palettes, clo_sub_palettes_site);
    return record.finish(std::move(effect));
}

std::expected<CloTextureEffect, ReadError> CloTextureEffect::read(Reader& reader) {
    RecordReader record{reader};
    CloTextureEffect effect;
    record.u32(effect.old_texture, old_texture_site);
    record.u32(effect.new_texture, new_texture_site);
    return record.finish(std::move(effect));
}

std::expected<CloObjectEffect, ReadError> CloObjectEffect::read(Reader& reader) {
    RecordReader record{reader};
    CloObjectEffect effect;
    std::uint32_t num_clo_texture_effects = 0;
    record.u32(effect.index, index_site);
    record.u32(effect.model_id, model_id_site);
    record.u32(num_clo_texture_effects, num_clo_texture_effects_site);
    record.records(effect.clo_texture_effects, num_clo_texture_effects, clo_texture_effects_site);
    return record.finish(std::move(effect));
}

std::expected<ClothingBaseEffect, ReadError> ClothingBaseEffect::read(Reader& reader) {
    RecordReader record{reader};
    ClothingBaseEffect effect;
    std::uint32_t num_clo_object_effects = 0;
    record.u32(num_clo_object_effects, num_clo_object_effects_site);
    record.records(effect.clo_object_effects, num_clo_object_effects, clo_object_effects_site);
    return record.finish(std::move(effect));
}

std::expected<ClothingTable, ReadError> ClothingTable::read(Reader& reader, Endian endian) {
    if (endian != Endian::Little) {
        return std::unexpected{ReadError::assertion("ClothingTable is little-endian only",
                                                    reader.position().value_or(0))};
    }
    // The length left is not known here; the arena grows as the records need.
    constexpr std::size_t first_block = 4096;
    return decode_in_arena(first_block, [&] { return read_little_endian(reader); });
}

std::expected<ClothingTable, ReadError> ClothingTable::read_little_endian(Reader& reader) {
    ClothingTable table;
    auto id = read_u32(reader);
    if (!id) {
        return tarnwick_base::take_error(id);
    }
    table.id = *id;
    auto base_effects = read_packable_hash_table(reader, ClothingBaseEffect::read);
    if (!base_effects) {
        return tarnwick_base::take_error(base_effects);
    }
    table.clothing_base_effects = std::move(*base_effects);
    auto sub_pal_effects = read_packable_hash_table(reader, CloSubPalEffect::read);
    if (!sub_pal_effects) {
        return tarnwick_base::take_error(sub_pal_effects);
    }
    table.clothing_sub_pal_effects = std::move(*sub_pal_effects);
    return table;
}

}  // namespace tarnwick_dat
