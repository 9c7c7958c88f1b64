// Clothing tables decoded straight from bytes in memory: the records of clothing.hpp, field by
// field as clothing_fields.hpp lists them, without a virtual call per number. Any shortfall
// gives up, and the record reader then reads the same bytes again to report the failure exactly.

#include <algorithm>
#include <optional>
#include <string>

#include "tarnwick_base/hex.hpp"
#include "tarnwick_dat/file_type/clothing.hpp"
#include "tarnwick_dat/file_type/clothing_fields.hpp"
#include "tarnwick_dat/span_decoder.hpp"

namespace tarnwick_dat {
namespace {

// Each record's fields in the order clothing_fields.hpp lists them; every step gives false
// where the bytes end first.
class FieldDecoder {
  public:
    explicit FieldDecoder(std::span<const std::uint8_t> bytes) : in_{bytes} {}

    template <class Record>
    bool record(Record& out) {
        return visit_fields(out, *this);
    }

    bool number(std::uint32_t& out, const FieldSite*) { return in_.number(out); }

    // A count, then that many records. The list is reserved once, for no more records than the
    // bytes left can hold.
    template <class Record>
    bool list(RecordList<Record>& out, const FieldSite&, const FieldSite&) {
        std::uint32_t count = 0;
        if (!in_.number(count)) {
            return false;
        }
        out.reserve(std::min<std::size_t>(count, in_.left() / smallest_stored_size<Record>));
        for (std::uint32_t i = 0; i < count; ++i) {
            Record element;
            if (!record(element)) {
                return false;
            }
            out.push_back(std::move(element));
        }
        return true;
    }

    // The packed layout: count, unused bucket size, then keys and values; a later key replaces
    // an earlier one.
    template <class Value>
    bool table(PackableHashTable<Value>& out) {
        std::uint16_t count = 0;
        std::uint16_t bucket_size = 0;
        if (!in_.number(count) || !in_.number(bucket_size)) {
            return false;
        }
        // Every entry takes at least its key and a 32-bit number: reserve no more than the
        // bytes left can hold, so that a corrupt count costs no buckets it cannot fill.
        constexpr std::size_t least_entry_bytes = 8;
        out.reserve(std::min<std::size_t>(count, in_.left() / least_entry_bytes));
        for (std::uint32_t i = 0; i < count; ++i) {
            std::uint32_t key = 0;
            Value value;
            if (!in_.number(key) || !record(value)) {
                return false;
            }
            out.insert_or_assign(key, std::move(value));
        }
        return true;
    }

    std::size_t left() const { return in_.left(); }
    std::size_t consumed() const { return in_.consumed(); }

  private:
    SpanDecoder in_;
};

}  // namespace

std::expected<ClothingTable, ReadError> ClothingTable::read(ByteReader& reader, Endian endian) {
    if (endian == Endian::Little) {
        const std::uint64_t start = *reader.position();  // memory always knows it
        FieldDecoder in{reader.unread()};
        // The records take a few times the bytes they are stored in.
        auto table = decode_in_arena(4 * in.left() + 256, [&]() -> std::optional<ClothingTable> {
            ClothingTable decoded;
            if (!in.record(decoded)) {
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
