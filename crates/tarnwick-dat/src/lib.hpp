#pragma once

#include <cstdint>
#include <expected>
#include <vector>

#include "file_type.hpp"
#include "record_reader.hpp"

namespace tarnwick_dat {

// Where the header lies in every archive file.
inline constexpr std::uint64_t dat_header_offset = 0x140;

// The 80-byte archive header. No field is validated on reading.
struct DatHeader {
    TARNWICK_RECORD(DatHeader);
    TARNWICK_FIELD(std::uint32_t, magic);
    TARNWICK_FIELD(std::uint32_t, block_size);
    TARNWICK_FIELD(std::uint32_t, file_size);
    TARNWICK_FIELD(std::uint32_t, dataset);
    TARNWICK_FIELD(std::uint32_t, subset);
    TARNWICK_FIELD(std::uint32_t, free_head);
    TARNWICK_FIELD(std::uint32_t, free_tail);
    TARNWICK_FIELD(std::uint32_t, free_count);
    TARNWICK_FIELD(std::uint32_t, root_offset);
    TARNWICK_FIELD(std::uint32_t, new_lru);
    TARNWICK_FIELD(std::uint32_t, old_lru);
    TARNWICK_FIELD(std::uint32_t, use_lru);
    TARNWICK_FIELD(std::uint32_t, master_map_id);
    TARNWICK_FIELD(std::uint32_t, engine_version);
    TARNWICK_FIELD(std::uint32_t, game_version);
    // Raw bytes, not text.
    TARNWICK_FIELD(std::vector<std::uint8_t>, version_string);
    TARNWICK_FIELD(std::uint32_t, version_minor);

    static constexpr std::uint32_t signature = 0x5442;
    static constexpr std::size_t version_string_length = 16;

    // Reads the header at the reader's position (offset 320 of an archive).
    static std::expected<DatHeader, ReadError> read(Reader& reader);

    DatKind dat_kind() const;
};

}  // namespace tarnwick_dat
