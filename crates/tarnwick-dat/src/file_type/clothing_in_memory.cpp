// Clothing tables decoded straight from bytes in memory: the records of clothing.hpp, field by
// field in the same order, without a virtual call per number. Any shortfall gives up, and the
// record reader then reads the same bytes again to report the failure exactly.

#include <algorithm>
#include <optional>
#include <string>

#include "tarnwick_base/hex.hpp"
#include "tarnwick_dat/file_type/clothing.hpp"
#include "tarnwick_dat/span_decoder.hpp"

namespace tarnwick_dat {
namespace {

// The fewest bytes a stored record takes, which bounds what a stored count may reserve.
template <class Record>
constexpr std::size_t smallest_stored = 0;
template <>
constexpr std::size_t smallest_stored<CloSubPaletteRange> = 8;
template <>
constexpr std::size_t smallest_stored<CloSubPalette> = 8;
template <>
constexpr std::size_t smallest_stored<CloTextureEffect> = 8;
template <>
constexpr std::size_t smallest_stored<CloObjectEffect> = 12;

// Each record's fields in declaration order; false where the bytes end first.
bool decode(SpanDecoder& in, CloSubPalette& out);
bool decode(SpanDecoder& in, CloObjectEffect& out);

bool decode(SpanDecoder& in, CloSubPaletteRange& out) {
    return in.number(out.offset) && in.number(out.num_colors);
}

bool decode(SpanDecoder& in, CloTextureEffect& out) {
    return in.number(out.old_texture) && in.number(out.new_texture);
}

// A count, then that many records. The list is reserved once, for no more records than the
// bytes left can hold.
template <class Record>
bool decode_list(SpanDecoder& in, RecordList<Record>& out) {
    std::uint32_t count = 0;
    if (!in.number(count)) {
        return false;
    }
    out.reserve(std::min<std::size_t>(count, in.left() / smallest_stored<Record>));
    for (std::uint32_t i = 0; i < count; ++i) {
        Record record;
        if (!decode(in, record)) {
            return false;
        }
        out.push_back(std::move(record));
    }
    return true;
}

bool decode(SpanDecoder& in, CloSubPalette& out) {
    return decode_list(in, out.ranges) && in.number(out.palette_set);
}

bool decode(SpanDecoder& in, CloSubPalEffect& out) {
    return in.number(out.icon) && decode_list(in, out.clo_sub_palettes);
}

bool decode(SpanDecoder& in, CloObjectEffect& out) {
    return in.number(out.index) && in.number(out.model_id) &&
           decode_list(in, out.clo_texture_effects);
}

bool decode(SpanDecoder& in, ClothingBaseEffect& out) {
    return decode_list(in, out.clo_object_effects);
}

// The packed layout: count, unused bucket size, then keys and values; a later key replaces an
// earlier one.
template <class Value>
bool decode_table(SpanDecoder& in, PackableHashTable<Value>& out) {
    std::uint16_t count = 0;
    std::uint16_t bucket_size = 0;
    if (!in.number(count) || !in.number(bucket_size)) {
        return false;
    }
    // Every entry takes at least its key and a 32-bit number: reserve no more than the bytes
    // left can hold, so that a corrupt count costs no buckets it cannot fill.
    constexpr std::size_t least_entry_bytes = 8;
    out.reserve(std::min<std::size_t>(count, in.remaining() / least_entry_bytes));
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t key = 0;
        Value value;
        if (!in.number(key) || !decode(in, value)) {
            return false;
        }
        out.insert_or_assign(key, std::move(value));
    }
    return true;
}

bool decode(SpanDecoder& in, ClothingTable& out) {
    return in.number(out.id) && decode_table(in, out.clothing_base_effects) &&
           decode_table(in, out.clothing_sub_pal_effects);
}

}  // namespace

std::expected<ClothingTable, ReadError> ClothingTable::read(ByteReader& reader, Endian endian) {
    if (endian == Endian::Little) {
        const std::uint64_t start = *reader.position();  // memory always knows it
        SpanDecoder in{reader.unread()};
        // The records take a few times the bytes they are stored in.
        auto table = decode_in_arena(4 * in.left() + 256, [&]() -> std::optional<ClothingTable> {
            ClothingTable decoded;
            if (!decode(in, decoded)) {
                return std::nullopt;
            }
            return decoded;
        });
        if (table) {
            (void)reader.seek(start + in.consumed());  // seeking memory cannot fail
            return std::move(*table);
        }
    }
    return read(static_cast<Reader&>(reader), endian);
}

std::expected<ClothingTable, DatError> read_clothing_table(std::span<const std::uint8_t> bytes) {
    ByteReader reader{bytes};
    auto table = ClothingTable::read(reader, Endian::Little);
    if (!table) {
        return std::unexpected{DatError{std::move(table.error())}};
    }
    const std::uint64_t consumed = *reader.position();  // memory always knows it
    if (consumed != bytes.size()) {
        return std::unexpected{DatError{DatError::Corruption{
            "clothing table 0x" + tarnwick_base::hex_upper(table->id) + " ends at byte " +
            std::to_string(consumed) + " of " + std::to_string(bytes.size())}}};
    }
    return table;
}

}  // namespace tarnwick_dat
