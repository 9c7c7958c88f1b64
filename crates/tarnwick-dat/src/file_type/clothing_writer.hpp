#pragma once

#include <algorithm>
#include <cstdint>
#include <expected>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tarnwick_dat/error.hpp"
#include "tarnwick_dat/file_type/clothing.hpp"
#include "tarnwick_dat/file_type/clothing_fields.hpp"

namespace tarnwick_dat {

// Builds the stored form of clothing records from values, so that tests and generated archives
// can make clothing files. Packed tables are written with the bucket size given here.
class ClothingWriter {
  public:
    static constexpr std::uint16_t default_bucket_size = 64;

    explicit ClothingWriter(std::uint16_t bucket_size = default_bucket_size)
        : bucket_size_{bucket_size} {}

    void u32(std::uint32_t value);
    // Any clothing record, the whole table included, field by field as clothing_fields.hpp
    // lists them.
    template <class Record>
    void write(const Record& record) {
        FieldWriting fields{*this};
        visit_fields(record, fields);
    }

    // The entries in the order given, repeated keys included.
    template <class Value>
    void packed_table(const std::vector<std::pair<std::uint32_t, Value>>& entries) {
        packed_table_head(entries.size());
        for (const auto& [key, value] : entries) {
            u32(key);
            write(value);
        }
    }

    // The entries in ascending key order, so that a table always gives the same bytes.
    template <class Value>
    void packed_table(const PackableHashTable<Value>& table) {
        std::vector<std::uint32_t> keys;
        keys.reserve(table.size());
        for (const auto& entry : table) {
            keys.push_back(entry.first);
        }
        std::sort(keys.begin(), keys.end());
        packed_table_head(keys.size());
        for (std::uint32_t key : keys) {
            u32(key);
            write(table.at(key));
        }
    }

    // The bytes written, or Other when a list or table held more entries than its count field
    // can store.
    std::expected<std::vector<std::uint8_t>, DatError> finish() &&;

  private:
    struct FieldWriting {
        ClothingWriter& out;

        bool number(std::uint32_t value, const FieldSite*) {
            out.u32(value);
            return true;
        }
        template <class Element>
        bool list(const RecordList<Element>& records, const FieldSite&, const FieldSite&) {
            out.list(records);
            return true;
        }
        template <class Value>
        bool table(const PackableHashTable<Value>& table) {
            out.packed_table(table);
            return true;
        }
    };

    void u16(std::uint16_t value);
    void packed_table_head(std::size_t entries);
    // The count itself, or `max` after remembering the first count that does not fit.
    std::uint32_t fitted(std::size_t count, std::uint32_t max);
    template <class Record, class Allocator>
    void list(const std::vector<Record, Allocator>& records) {
        u32(fitted(records.size(), std::numeric_limits<std::uint32_t>::max()));
        for (const Record& record : records) {
            write(record);
        }
    }

    std::uint16_t bucket_size_;
    std::vector<std::uint8_t> bytes_;
    std::optional<std::string> overflow_;
};

// The stored form of a whole clothing file, both tables in ascending key order.
std::expected<std::vector<std::uint8_t>, DatError> write_clothing_table(
    const ClothingTable& table, std::uint16_t bucket_size = ClothingWriter::default_bucket_size);

}  // namespace tarnwick_dat
