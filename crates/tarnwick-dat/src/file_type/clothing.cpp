#include "tarnwick_dat/file_type/clothing.hpp"

#include <optional>

#include "tarnwick_base/expected.hpp"
#include "tarnwick_dat/file_type/clothing_fields.hpp"
#include "tarnwick_dat/file_type/packable_hash_table.hpp"

namespace tarnwick_dat {
namespace {

// A nested record's fields through the record reader, which frames the first failure, moves
// back to the record's start and skips every later field by itself.
class FieldReading {
  public:
    explicit FieldReading(RecordReader& record) : record_{record} {}

    bool number(std::uint32_t& out, const FieldSite* site) {
        record_.u32(out, *site);
        return true;
    }
    template <class Element>
    bool list(RecordList<Element>& out, const FieldSite& count_site, const FieldSite& site) {
        std::uint32_t count = 0;
        record_.u32(count, count_site);
        record_.records(out, count, site);
        return true;
    }

  private:
    RecordReader& record_;
};

template <class Record>
std::expected<Record, ReadError> read_fields(Reader& reader) {
    RecordReader record{reader};
    Record out;
    FieldReading fields{record};
    visit_fields(out, fields);
    return record.finish(std::move(out));
}

// The table's own fields, outside any record: no frame, no move back, the first failure ends it.
class TableReading {
  public:
    explicit TableReading(Reader& reader) : reader_{reader} {}

    bool number(std::uint32_t& out, const FieldSite*) { return take(read_u32(reader_), out); }
    template <class Value>
    bool table(PackableHashTable<Value>& out) {
        return take(read_packable_hash_table(reader_, Value::read), out);
    }

    std::optional<ReadError> error;

  private:
    template <class T>
    bool take(std::expected<T, ReadError> value, T& out) {
        if (!value) {
            error.emplace(std::move(value.error()));
            return false;
        }
        out = std::move(*value);
        return true;
    }

    Reader& reader_;
};

}  // namespace

std::expected<CloSubPaletteRange, ReadError> CloSubPaletteRange::read(Reader& reader) {
    return read_fields<CloSubPaletteRange>(reader);
}

std::expected<CloSubPalette, ReadError> CloSubPalette::read(Reader& reader) {
    return read_fields<CloSubPalette>(reader);
}

std::expected<CloSubPalEffect, ReadError> CloSubPalEffect::read(Reader& reader) {
    return read_fields<CloSubPalEffect>(reader);
}

std::expected<CloTextureEffect, ReadError> CloTextureEffect::read(Reader& reader) {
    return read_fields<CloTextureEffect>(reader);
}

std::expected<CloObjectEffect, ReadError> CloObjectEffect::read(Reader& reader) {
    return read_fields<CloObjectEffect>(reader);
}

std::expected<ClothingBaseEffect, ReadError> ClothingBaseEffect::read(Reader& reader) {
    return read_fields<ClothingBaseEffect>(reader);
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
    TableReading fields{reader};
    if (!visit_fields(table, fields)) {
        return std::unexpected{std::move(*fields.error)};
    }
    return table;
}

}  // namespace tarnwick_dat
