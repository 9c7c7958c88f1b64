// Clothing tables decoded straight from bytes in memory: the records of clothing.hpp, field by
// field as clothing_fields.hpp lists them, without a virtual call per number. In memory the only
// failure is the data ending inside a number; the decoder words it as the record reader does,
// with the same frames, and leaves the reader where the record reader would.

#include <algorithm>
#include <optional>
#include <string>

#include "tarnwick_base/hex.hpp"
#include "tarnwick_dat/file_type/clothing.hpp"
#include "tarnwick_dat/file_type/clothing_fields.hpp"
#include "tarnwick_dat/record_failure.hpp"
#include "tarnwick_dat/span_decoder.hpp"

namespace tarnwick_dat {
namespace {

// Each record's fields in the order clothing_fields.hpp lists them; every step gives false
// where the bytes end first, with the failure in `error` and its place in `stopped_at`.
class FieldDecoder {
  public:
    explicit FieldDecoder(std::span<const std::uint8_t> bytes) : in_{bytes} {}

    template <class Record>
    bool record(Record& out) {
        return visit_fields(out, *this);
    }

    // A failing field of a record gets its frame; the table's own numbers (no site) get none.
    // Either way the reader is left on the number's first byte, unless a record moves it back.
    [[gnu::always_inline]] bool number(std::uint32_t& out, const FieldSite* site) {
        if (in_.number(out)) [[likely]] {
            return true;
        }
        fail(site);
        return false;
    }

    // A count, then that many records. The list is reserved once, for no more records than the
    // bytes left can hold.
    template <class Record>
    bool list(RecordList<Record>& out, const FieldSite& count_site, const FieldSite& site) {
        std::uint32_t count = 0;
        if (!number(count, &count_site)) {
            return false;
        }
        if constexpr (stored_as_in_memory<Record>) {
            // All there: no element can fail, so each is its bytes, with no bound checked.
            if (count <= in_.left() / sizeof(Record)) {
                out.reserve(count);
                for (std::uint32_t i = 0; i < count; ++i) {
                    Record element;
                    in_.copy_to(&element, sizeof element);
                    out.push_back(element);
                }
                return true;
            }
        }
        out.reserve(std::min<std::size_t>(count, in_.left() / smallest_stored_size<Record>));
        for (std::uint32_t i = 0; i < count; ++i) {
            Record element;
            if (!record(element)) {
                error->push_frame(field_frame(site));
                return false;
            }
            out.push_back(std::move(element));
        }
        return true;
    }

    // The packed layout: count, unused bucket size, then keys and values; a later key replaces
    // an earlier one. A value that fails leaves the reader on its first byte.
    template <class Value>
    bool table(PackableHashTable<Value>& out) {
        std::uint16_t count = 0;
        std::uint16_t bucket_size = 0;
        if (!small_number(count) || !small_number(bucket_size)) {
            return false;
        }
        // Every entry takes at least its key and a 32-bit number: reserve no more than the
        // bytes left can hold, so that a corrupt count costs no buckets it cannot fill.
        constexpr std::size_t least_entry_bytes = 8;
        out.reserve(std::min<std::size_t>(count, in_.left() / least_entry_bytes));
        for (std::uint32_t i = 0; i < count; ++i) {
            std::uint32_t key = 0;
            if (!number(key, nullptr)) {
                return false;
            }
            const std::size_t value_start = in_.consumed();
            Value value;
            if (!record(value)) {
                stopped_at = value_start;
                return false;
            }
            out.insert_or_assign(key, std::move(value));
        }
        return true;
    }

    std::size_t consumed() const { return in_.consumed(); }
    std::size_t left() const { return in_.left(); }

    std::optional<ReadError> error;
    std::size_t stopped_at = 0;

  private:
    bool small_number(std::uint16_t& out) {
        if (in_.number(out)) {
            return true;
        }
        fail(nullptr);
        return false;
    }

    // Out of line: the decoding loops stay tight.
    [[gnu::cold, gnu::noinline]] void fail(const FieldSite* site) {
        error.emplace(number_cut_short());
        if (site != nullptr) {
            error->push_frame(field_frame(*site));
        }
        stopped_at = in_.consumed();
    }

    SpanDecoder in_;
};

}  // namespace

std::expected<ClothingTable, ReadError> ClothingTable::read(ByteReader& reader, Endian endian) {
    if (endian != Endian::Little) {
        return read(static_cast<Reader&>(reader), endian);
    }
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
    (void)reader.seek(start + (table ? in.consumed() : in.stopped_at));  // memory cannot fail
    if (!table) {
        return std::unexpected{std::move(*in.error)};
    }
    return std::move(*table);
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
