#pragma once

#include <cstdint>
#include <expected>
#include <type_traits>
#include <utility>

#include "tarnwick_base/expected.hpp"
#include "tarnwick_dat/file_type/clothing.hpp"
#include "tarnwick_dat/record_reader.hpp"

namespace tarnwick_dat {

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
    // Nothing is reserved for the count: the reader cannot tell how many bytes are left, and a
    // corrupt count would cost its buckets before failing at the end of the data.
    PackableHashTable<read_value_result_t<ReadValue>> table;
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

}  // namespace tarnwick_dat
