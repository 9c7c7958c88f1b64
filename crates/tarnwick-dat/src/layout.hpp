#pragma once

// The on-disk layout of an archive: where the header lies and where each of its numbers is,
// how a directory node is laid out, and the link word that opens every block. The reader, the
// writer, the corrupt-archive campaign and the tool take their offsets from here.

#include <cstddef>
#include <cstdint>

namespace tarnwick_dat {

// Where the header lies in every archive file, and its length.
inline constexpr std::uint64_t dat_header_offset = 0x140;
inline constexpr std::size_t dat_header_length = 80;

// Where each header field lies, from the header's first byte (add `dat_header_offset` for the
// file offset). Every field is a little-endian 32-bit number except `version_string`, 16 raw bytes.
namespace header_field {
inline constexpr std::size_t magic = 0;
inline constexpr std::size_t block_size = 4;
inline constexpr std::size_t file_size = 8;
inline constexpr std::size_t dataset = 12;
inline constexpr std::size_t subset = 16;
inline constexpr std::size_t free_head = 20;
inline constexpr std::size_t free_tail = 24;
inline constexpr std::size_t free_count = 28;
inline constexpr std::size_t root_offset = 32;
inline constexpr std::size_t new_lru = 36;
inline constexpr std::size_t old_lru = 40;
inline constexpr std::size_t use_lru = 44;
inline constexpr std::size_t master_map_id = 48;
inline constexpr std::size_t engine_version = 52;
inline constexpr std::size_t game_version = 56;
inline constexpr std::size_t version_string = 60;
inline constexpr std::size_t version_string_length = 16;
inline constexpr std::size_t version_minor = 76;
}  // namespace header_field
static_assert(header_field::version_minor + 4 == dat_header_length);

// Every block opens with the offset of the next block of its chain (0 for the last); the rest
// of the block is payload.
inline constexpr std::size_t dat_link_word_length = 4;

// A directory entry: six little-endian 32-bit numbers (flags, id, offset, size, timestamp,
// version).
inline constexpr std::size_t dat_entry_length = 24;
inline constexpr std::size_t dat_entry_id_at = 4;

// A directory node: 62 branch offsets, the entry count, then 61 entry slots.
inline constexpr std::size_t dat_node_branch_count = 62;
inline constexpr std::size_t dat_node_entry_slots = 61;
inline constexpr std::uint32_t dat_node_length = 1716;
inline constexpr std::size_t dat_node_count_at = dat_node_branch_count * 4;
inline constexpr std::size_t dat_node_entries_at = dat_node_count_at + 4;
static_assert(dat_node_entries_at + dat_node_entry_slots * dat_entry_length == dat_node_length);
// Far deeper than any real tree (61 entries per node); a deeper walk means a corrupt archive.
inline constexpr std::size_t dat_max_tree_depth = 32;

}  // namespace tarnwick_dat
