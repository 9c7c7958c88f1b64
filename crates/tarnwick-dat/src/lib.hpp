#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <memory>
#include <memory_resource>
#include <span>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "tarnwick_dat/block_chain.hpp"
#include "tarnwick_dat/directory_pool.hpp"
#include "tarnwick_dat/error.hpp"
#include "tarnwick_dat/file_type.hpp"
#include "tarnwick_dat/record_reader.hpp"
#include "tarnwick_dat/utils.hpp"

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
    static constexpr std::size_t byte_length = 80;

    // Reads the header at the reader's position (offset 320 of an archive).
    static std::expected<DatHeader, ReadError> read(Reader& reader);

    DatKind dat_kind() const;
};

// One directory entry: where a file's block chain starts and how many bytes it holds.
struct DatFileEntry {
    TARNWICK_RECORD(DatFileEntry);
    TARNWICK_FIELD(std::uint32_t, bit_flags);
    TARNWICK_FIELD(std::uint32_t, id);
    TARNWICK_FIELD(std::uint32_t, offset);
    TARNWICK_FIELD(std::uint32_t, size);
    TARNWICK_FIELD(std::uint32_t, timestamp);
    TARNWICK_FIELD(std::uint32_t, version);

    static constexpr std::size_t byte_length = 24;
    static constexpr std::uint32_t compressed_flag = 1;

    static std::expected<DatFileEntry, ReadError> read(Reader& reader);
    // The entry whose stored bytes these are; decoding them cannot fail.
    static DatFileEntry decode(std::span<const std::uint8_t, byte_length> bytes);

    bool is_compressed() const { return (bit_flags & compressed_flag) != 0; }
};

// The stored layout of a directory node.
inline constexpr std::size_t dat_node_branch_count = 62;
inline constexpr std::size_t dat_node_entry_slots = 61;
inline constexpr std::uint32_t dat_node_length = 1716;
inline constexpr std::size_t dat_node_count_at = dat_node_branch_count * 4;
inline constexpr std::size_t dat_node_entries_at = dat_node_count_at + 4;
static_assert(dat_node_entries_at + dat_node_entry_slots * DatFileEntry::byte_length ==
              dat_node_length);
// Far deeper than any real tree (61 entries per node); a deeper walk means a corrupt archive.
inline constexpr std::size_t dat_max_tree_depth = 32;

// The directory tree as it was read: the distinct nodes read (a shared node once) and the
// number of nodes on its longest path from the root (0 for an empty directory).
struct DirectoryShape {
    std::size_t nodes = 0;
    std::size_t depth = 0;
};

// An open archive: its header, its whole directory, and the file, kept open for reading.
class DatDatabase {
    // The directory's nodes and buckets: a directory of many thousand entries costs one
    // allocation and as few pages as it can. It lives apart from the archive, so that the map
    // can move with it.
    std::unique_ptr<DirectoryPool> directory_pool_ = std::make_unique<DirectoryPool>();

  public:
    // Opens the archive read-only, reads its header and loads its whole directory.
    //
    // Memory that cannot be had (a huge expansion under an address-space limit) is an error
    // like any other: `open`, `read_file_data*`, `get_file` and `expanded_size` give
    // `DatError::Io` of kind `OutOfMemory` ("Cannot allocate memory") instead of throwing.
    static std::expected<DatDatabase, DatError> open(const std::filesystem::path& path);

    DatKind dat_kind() const { return header.dat_kind(); }
    const DirectoryShape& directory_shape() const { return directory_shape_; }

    // A chain's bytes, a run of contiguous blocks in one read (see `read_chain`).
    std::expected<std::vector<std::uint8_t>, DatError> read_file_data(std::uint32_t offset,
                                                                      std::uint32_t size) const;
    // The same, one read for every link word and every payload: the reference for the above.
    std::expected<std::vector<std::uint8_t>, DatError> read_file_data_exact(
        std::uint32_t offset, std::uint32_t size) const;
    // A file's bytes by identifier, expanded when stored compressed.
    std::expected<std::vector<std::uint8_t>, DatError> get_file(std::uint32_t id) const;
    // The same, reading through the caller's window, so that files lying one after another
    // cost one read between them. The window's bytes are those of the file when it was filled.
    std::expected<std::vector<std::uint8_t>, DatError> get_file(std::uint32_t id,
                                                                ReadWindow& window) const;
    // The size `get_file` gives for `id`, without expanding: a compressed file's declared size
    // (the prefix of its stream, one small read; a malformed stream expands to fewer bytes),
    // the stored size for a file stored plain.
    std::expected<std::uint32_t, DatError> expanded_size(std::uint32_t id) const;

    // Walks the tree from the header's root into `files`; a later duplicate id replaces the
    // earlier one.
    std::expected<void, DatError> read_directory();
    // Reads the node at `offset` and, depth first, its children into `files`.
    std::expected<void, DatError> read_node(std::uint32_t offset);

    DatDatabase(DatDatabase&& other) noexcept = default;
    // The map keeps the pool it was built in, so an archive moved in is rebuilt in place.
    DatDatabase& operator=(DatDatabase&& other) noexcept;

    DatHeader header;
    std::pmr::unordered_map<std::uint32_t, DatFileEntry> files{directory_pool_.get()};
    ArchiveFile file;

  private:
    static std::expected<DatDatabase, DatError> open_unguarded(const std::filesystem::path& path);

    DatDatabase(DatHeader header, ArchiveFile file, std::uint64_t file_length)
        : header{std::move(header)}, file{std::move(file)}, file_length_{file_length} {}

    ChainSource chains() const { return {file, header.block_size, file_length_}; }

    // A branch back to a node on the current path would never end; a node shared by several
    // branches is read once, since reading it again would insert the same entries. The walk
    // reads ahead through its own window (nodes tend to lie together) into one node buffer, and
    // notes the nodes in the order read with the number of entries they hold.
    struct Walk {
        std::unordered_set<std::uint32_t> on_path;
        std::unordered_set<std::uint32_t> finished;
        ReadWindow window;
        std::vector<std::uint8_t> node;
        std::vector<std::uint32_t> order;
        std::size_t entries = 0;
    };
    // Follows the tree from `offset` with every check of the walk, inserting nothing.
    std::expected<void, DatError> walk_node(std::uint32_t offset, Walk& walk);
    // Reads the walked nodes again, in order, into `files`, reserved for all of them at once so
    // that the map never grows entry by entry.
    std::expected<void, DatError> insert_walked(Walk& walk);
    // The node's first `count` entries, at most its slots, in `files`.
    void insert_entries(std::span<const std::uint8_t> node, std::uint32_t count);

    // The length of `file` when it was opened.
    std::uint64_t file_length_;

    DirectoryShape directory_shape_;
};

}  // namespace tarnwick_dat
