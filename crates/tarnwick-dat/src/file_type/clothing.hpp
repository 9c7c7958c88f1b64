#pragma once

// The records of a clothing file (`ClothingTable`), and `read_clothing_table`, which parses a
// whole file as `DatDatabase::get_file` gives it:
//
//   auto bytes = dat->get_file(id);
//   if (!bytes) { ... }
//   auto table = tarnwick_dat::read_clothing_table(*bytes);
//   if (!table) { log(table.error().display()); return; }
//   for (const auto& [setup, effect] : table->clothing_base_effects) {
//       for (const CloObjectEffect& part : effect.clo_object_effects) { ... }
//   }
//
// A clothing file holds, little-endian, 32-bit numbers unless said otherwise:
// - its own identifier, which is the id it is stored under;
// - the base effects: a packed hash table from a setup's identifier to a `ClothingBaseEffect`:
//   the number of model parts replaced, then the parts (`CloObjectEffect`: the part's index,
//   the model put there, the number of texture swaps, then the swaps, `CloTextureEffect`: the
//   texture replaced and the one put in its place);
// - the sub-palette effects: a packed hash table from an effect number to a `CloSubPalEffect`:
//   its icon, the number of sub-palettes, then the sub-palettes (`CloSubPalette`: the number
//   of colour ranges, the ranges, `CloSubPaletteRange`: first colour and count, then the
//   palette set laid over them).
// A packed hash table is a 16-bit entry count, a 16-bit bucket size (read, not used), then the
// entries, each a 32-bit key and its record; a later entry replaces an earlier one with the
// same key. The maps keep no order; sort their keys to visit them in order. Every identifier is
// a file id of the archive (setups, models, textures, palette sets, icons): `type_of` tells.
//
// To read from a `Reader` of your own, `ClothingTable::read(reader, Endian::Little)` reads one
// table from the reader's position and leaves what follows unread: `reader.position()` tells
// where it stopped. A failure's `DatError` (or `ReadError`) names the field where reading
// stopped, its record and the line of the field's declaration below.
//
// Both `read`s give the same table, error and position: the one over a `ByteReader` decodes
// straight from memory, without a virtual call per number, and words failures alike. Neither
// reserves room for a count before the bytes it needs are there, so a corrupt count costs no
// more memory than the file's length calls for, and fails where the bytes end.
// Neither `read` checks that the table names itself; `read_clothing_table` does not either.

#include <cstdint>
#include <expected>
#include <span>
#include <unordered_map>
#include <vector>

#include "tarnwick_dat/error.hpp"
#include "tarnwick_dat/file_type/record_arena.hpp"
#include "tarnwick_dat/record_reader.hpp"

namespace tarnwick_dat {

// A clothing table's records keyed by unsigned 32-bit keys, in no order (sort the keys).
template <class Value>
using PackableHashTable = RecordMap<std::uint32_t, Value>;

// The records of a clothing table, innermost first. Each is read little-endian field by field;
// a failing field adds its frame and moves the reader back to the record's first byte. Count
// fields are read, used as the length of the list after them, and not kept. Lists grow as
// their elements arrive, so a corrupt count fails at the end of the data without reserving it.
//
// A failure's frames show the line of the field's declaration: keep each declaration on its
// line, so that the lines a failure reports stay the same from build to build.

// A run of palette colours that a palette set is laid over: the first colour's index in the
// palette and the number of colours.
struct TARNWICK_DAT_API CloSubPaletteRange {
    TARNWICK_RECORD(CloSubPaletteRange);
    TARNWICK_FIELD(std::uint32_t, offset);
    TARNWICK_FIELD(std::uint32_t, num_colors);
    static std::expected<CloSubPaletteRange, ReadError> read(Reader& reader);
};

// A palette set and the colour ranges it applies to, stored as the number of ranges, the
// ranges, and only then the set.
struct TARNWICK_DAT_API CloSubPalette {
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
struct TARNWICK_DAT_API CloSubPalEffect {
    TARNWICK_RECORD(CloSubPalEffect);
    TARNWICK_FIELD(std::uint32_t, icon);
    // Length of the list below.
    TARNWICK_FIELD_SITE(num_clo_sub_palettes);
    // In stored order.
    TARNWICK_FIELD(RecordList<CloSubPalette>, clo_sub_palettes);
    static std::expected<CloSubPalEffect, ReadError> read(Reader& reader);
};

// One texture swapped on a model part: the identifier of the texture replaced first.
struct TARNWICK_DAT_API CloTextureEffect {
    TARNWICK_RECORD(CloTextureEffect);
    TARNWICK_FIELD(std::uint32_t, old_texture);
    // Identifier of the texture put in its place.
    TARNWICK_FIELD(std::uint32_t, new_texture);
    static std::expected<CloTextureEffect, ReadError> read(Reader& reader);
};

// One part of a model replaced, with the textures swapped on it. The part is named by its
// index in the model.
struct TARNWICK_DAT_API CloObjectEffect {
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
struct TARNWICK_DAT_API ClothingBaseEffect {
    TARNWICK_RECORD(ClothingBaseEffect);
    TARNWICK_FIELD_SITE(num_clo_object_effects);
    // In stored order.
    TARNWICK_FIELD(RecordList<CloObjectEffect>, clo_object_effects);
    static std::expected<ClothingBaseEffect, ReadError> read(Reader& reader);
};

// A whole clothing file: its own identifier, the base effects keyed by setup, and the
// sub-palette effects.
struct TARNWICK_DAT_API ClothingTable {
    std::uint32_t id = 0;
    PackableHashTable<ClothingBaseEffect> clothing_base_effects;
    PackableHashTable<CloSubPalEffect> clothing_sub_pal_effects;

    // Refuses a big-endian request before reading anything. Unlike the nested records it adds
    // no frame and does not move the reader back; bytes after the second table are left unread.
    static std::expected<ClothingTable, ReadError> read(Reader& reader, Endian endian);
    // The same table, error and position as the read above, decoded straight from the reader's
    // bytes (a big-endian request goes to the read above, which refuses it).
    static std::expected<ClothingTable, ReadError> read(ByteReader& reader, Endian endian);

  private:
    static std::expected<ClothingTable, ReadError> read_little_endian(Reader& reader);
};

// Parses a whole clothing file, which must end where the table does (else a corrupt file).
TARNWICK_DAT_API std::expected<ClothingTable, DatError> read_clothing_table(
    std::span<const std::uint8_t> bytes);

}  // namespace tarnwick_dat
