#pragma once

#include <cstdint>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "tarnwick_base/expected.hpp"
#include "tarnwick_dat/file_type/record_arena.hpp"
#include "tarnwick_dat/record_reader.hpp"

namespace tarnwick_dat {

// A clothing table's records keyed by unsigned 32-bit keys, in no order (sort the keys).
template <class Value>
using PackableHashTable = RecordMap<std::uint32_t, Value>;

// The record type that a value reader yields.
template <class ReadValue>
using read_value_result_t = typename std::invoke_result_t<ReadValue&, Reader&>::value_type;

// Reads the packed hash-table layout: a 16-bit entry count, a 16-bit bucket size that is read
// and not used, then the entries, each a 32-bit key followed by one value read by `read_value`.
// A later entry replaces an earlier one with the same key.
//
// Adds no frames of its own and does not move the reader back: after a failure the reader
// stands on the first byte of the number or value that failed.
template <class ReadValue>
std::expected<PackableHashTable<read_value_result_t<ReadValue>>, ReadError>
read_packable_hash_table(Reader& reader, ReadValue&& read_value) {
    auto count = read_u16(reader);
    if (!count) {
        return tarnwick_base::take_error(count);
    }
    if (auto bucket_size = read_u16(reader); !bucket_size) {
        return tarnwick_base::take_error(bucket_size);
    }
    PackableHashTable<read_value_result_t<ReadValue>> table;
    // A 16-bit count bounds what a corrupt file can make us reserve.
    table.reserve(*count);
    for (std::uint32_t i = 0; i < *count; ++i) {
        auto key = read_u32(reader);
        if (!key) {
            return tarnwick_base::take_error(key);
        }
        auto value = read_value(reader);
        if (!value) {
            return tarnwick_base::take_error(value);
        }
        table.insert_or_assign(*key, std::move(*value));
    }
    return table;
}

// The records of a clothing table, innermost first. Each is read little-endian field by field;
// a failing field adds its frame and moves the reader back to the record's first byte. Count
// fields are read, used as the length of the list after them, and not kept. Lists grow as
// their elements arrive, so a corrupt count fails at the end of the data without reserving it.
//
// A failure's frames show the line of the field's declaration: keep each declaration on its
// line, so that the lines a failure reports stay the same from build to build.

// A run of palette colours that a palette set is laid over: the first colour's index in the
// palette and the number of colours.
struct CloSubPaletteRange {
    TARNWICK_RECORD(CloSubPaletteRange);
    TARNWICK_FIELD(std::uint32_t, offset);
    TARNWICK_FIELD(std::uint32_t, num_colors);
    static std::expected<CloSubPaletteRange, ReadError> read(Reader& reader);
};

// A palette set and the colour ranges it applies to, stored as the number of ranges, the
// ranges, and only then the set.
struct CloSubPalette {
    TARNWICK_RECORD(CloSubPalette);
    TARNWICK_FIELD_SITE(num_ranges);
    // In stored order.
    TARNWICK_FIELD(RecordList<CloSubPaletteRange>, ranges);
    // Identifier of the palette set.
    TARNWICK_FIELD(std::uint32_t, palette_set);
    static std::expected<CloSubPalette, ReadError> read(Reader& reader);
};

// The value of the sub-palette effect table: the identifier of the effect's icon, then the
// sub-palettes it applies.
struct CloSubPalEffect {
    TARNWICK_RECORD(CloSubPalEffect);
    TARNWICK_FIELD(std::uint32_t, icon);
    // Length of the list below.
    TARNWICK_FIELD_SITE(num_clo_sub_palettes);
    // In stored order.
    TARNWICK_FIELD(RecordList<CloSubPalette>, clo_sub_palettes);
    static std::expected<CloSubPalEffect, ReadError> read(Reader& reader);
};

// One texture swapped on a model part: the identifier of the texture replaced first.
struct CloTextureEffect {
    TARNWICK_RECORD(CloTextureEffect);
    TARNWICK_FIELD(std::uint32_t, old_texture);
    // Identifier of the texture put in its place.
    TARNWICK_FIELD(std::uint32_t, new_texture);
    static std::expected<CloTextureEffect, ReadError> read(Reader& reader);
};

// One part of a model replaced, with the textures swapped on it. The part is named by its
// index in the model.
struct CloObjectEffect {
    TARNWICK_RECORD(CloObjectEffect);
    TARNWICK_FIELD(std::uint32_t, index);
    // Identifier of the model put in that part.
    TARNWICK_FIELD(std::uint32_t, model_id);
    // Length of the list below.
    TARNWICK_FIELD_SITE(num_clo_texture_effects);
    // In stored order.
    TARNWICK_FIELD(RecordList<CloTextureEffect>, clo_texture_effects);
    static std::expected<CloObjectEffect, ReadError> read(Reader& reader);
};

// The value of the base effect table, keyed by setup: the number of model parts replaced,
// then the parts.
struct ClothingBaseEffect {
    TARNWICK_RECORD(ClothingBaseEffect);
    TARNWICK_FIELD_SITE(num_clo_object_effects);
    // In stored order.
    TARNWICK_FIELD(RecordList<CloObjectEffect>, clo_object_effects);
    static std::expected<ClothingBaseEffect, ReadError> read(Reader& reader);
};

// A whole clothing file: its own identifier, the base effects keyed by setup, and the
// sub-palette effects.
struct ClothingTable {
    std::uint32_t id = 0;
    PackableHashTable<ClothingBaseEffect> clothing_base_effects;
    PackableHashTable<CloSubPalEffect> clothing_sub_pal_effects;

    // Refuses a big-endian request before reading anything. Unlike the nested records it adds
    // no frame and does not move the reader back; bytes after the second table are left unread.
    static std::expected<ClothingTable, ReadError> read(Reader& reader, Endian endian);
    // The same table, error and position, decoded straight from the reader's bytes; where that
    // decoding falls short it gives way to the read above, which reports the failure.
    static std::expected<ClothingTable, ReadError> read(ByteReader& reader, Endian endian);

  private:
    static std::expected<ClothingTable, ReadError> read_little_endian(Reader& reader);
};

}  // namespace tarnwick_dat
