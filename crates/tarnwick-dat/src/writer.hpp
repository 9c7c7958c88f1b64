#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

#include "tarnwick_dat/error.hpp"
#include "tarnwick_dat/lib.hpp"

namespace tarnwick_dat {

// How the blocks of one chain are placed in the file.
enum class ChainLayout {
    Contiguous,  // ascending, one after another
    Scattered,   // shuffled within the chain's blocks, so links jump back and forth
};

// A directory node as stored. `entry_count` defaults to `entries.size()`; a different value
// (for a corrupt node) is stored as given. At most 61 entries fit the node's slots.
struct DirectoryNode {
    std::array<std::uint32_t, dat_node_branch_count> branches{};
    std::vector<DatFileEntry> entries;
    std::optional<std::uint32_t> entry_count;
};

// What `store_file` does with a file's bytes.
struct StoreOptions {
    bool compressed = false;        // store compress_lrs(bytes) and set bit 0 of bit_flags
    std::uint32_t extra_flags = 0;  // further bit_flags bits, stored as given
    ChainLayout layout = ChainLayout::Contiguous;
    std::uint32_t timestamp = 0;
    std::uint32_t version = 0;
};

// The stored bytes of a header (80 bytes; `version_string` padded or cut to 16 bytes) and of
// a directory node (1716 bytes).
std::vector<std::uint8_t> encode_header(const DatHeader& header);
std::vector<std::uint8_t> encode_node(const DirectoryNode& node);

// Writes an archive file. Blocks are appended after the header area; every write goes straight
// to the file, so archives of any size can be built. The header is written by `finish`, which
// also pads the file to its last block. The file is closed when the writer is released.
//
//   auto writer = DatWriter::create(path, 1024);
//   auto entry = writer->store_file(0x10000001, bytes, {.compressed = true});
//   writer->write_directory({*entry});   // sets header().root_offset
//   writer->finish();
class DatWriter {
  public:
    // A portal archive's block length.
    static constexpr std::uint32_t default_block_size = 1024;

    // Creates (or truncates) `path`. `block_size` is the block length used for allocation and
    // the header's initial `block_size`; it must exceed the link word. The header starts out as
    // a portal archive's (magic 0x5442, dataset 1); change any field through `header()`.
    static std::expected<DatWriter, DatError> create(const std::filesystem::path& path,
                                                     std::uint32_t block_size = default_block_size,
                                                     std::uint32_t seed = 1);
    // The same for a file that must not exist yet: a file or a link (even a dangling one)
    // already at `path` is an error of kind AlreadyExists, and nothing there is touched. The
    // file gets mode 0666 less the umask.
    static std::expected<DatWriter, DatError> create_new(const std::filesystem::path& path,
                                                         std::uint32_t block_size);

    DatWriter(DatWriter&& other) noexcept;
    DatWriter& operator=(DatWriter&& other) noexcept;
    DatWriter(const DatWriter&) = delete;
    DatWriter& operator=(const DatWriter&) = delete;
    ~DatWriter();

    DatHeader& header() { return header_; }
    std::uint32_t block_size() const { return block_size_; }
    // The offset where the next block will be allocated: the file's length after `finish`.
    std::uint64_t end_offset() const { return end_; }

    // Reserves `count` fresh zero blocks, in ascending order.
    std::expected<std::vector<std::uint32_t>, DatError> allocate_blocks(std::size_t count);
    // Reserves the blocks a chain of `byte_count` bytes needs (none for 0 bytes), in chain order.
    std::expected<std::vector<std::uint32_t>, DatError> allocate_chain(std::size_t byte_count,
                                                                       ChainLayout layout);
    // Writes `bytes` as the chain through `blocks` (in chain order): each block links to the
    // next, the last one links to 0. Requires exactly the blocks the byte count needs.
    std::expected<void, DatError> write_chain(std::span<const std::uint32_t> blocks,
                                              std::span<const std::uint8_t> bytes);
    // allocate_chain + write_chain; gives the chain's first block (0 for no bytes).
    std::expected<std::uint32_t, DatError> store_chain(std::span<const std::uint8_t> bytes,
                                                       ChainLayout layout);

    // Stores a file's bytes as a chain and gives its directory entry.
    std::expected<DatFileEntry, DatError> store_file(std::uint32_t id,
                                                     std::span<const std::uint8_t> bytes,
                                                     const StoreOptions& options = {});

    // Stores one hand-built node and gives its offset.
    std::expected<std::uint32_t, DatError> write_node(const DirectoryNode& node,
                                                      ChainLayout layout = ChainLayout::Contiguous);
    // Stores a node into blocks reserved earlier (so a branch can point at it before it is
    // written); `blocks` as from allocate_chain(dat_node_length, ...).
    std::expected<void, DatError> write_node_at(std::span<const std::uint32_t> blocks,
                                                const DirectoryNode& node);
    // Stores a balanced tree over `entries` (ordered by id, as separators of a B-tree: leaves of
    // up to 61 entries, inner nodes with one more child than entries) and makes it the root.
    // Gives the root's offset; no entries give the empty directory, root 0.
    std::expected<std::uint32_t, DatError> write_directory(std::vector<DatFileEntry> entries);

    // Overwrites bytes anywhere, for crafting damaged archives.
    std::expected<void, DatError> write_raw(std::uint64_t offset,
                                            std::span<const std::uint8_t> bytes);
    std::expected<void, DatError> write_u32(std::uint64_t offset, std::uint32_t value);

    // Writes the header at offset 320 and pads the file to `end_offset()`.
    std::expected<void, DatError> finish();
    // Waits until what was written is on the storage device, before the file is put in place.
    std::expected<void, DatError> sync();

  private:
    DatWriter(int fd, std::uint32_t block_size, std::uint32_t seed);
    static std::expected<DatWriter, DatError> open_with(const std::filesystem::path& path,
                                                        int flags, int mode,
                                                        std::uint32_t block_size,
                                                        std::uint32_t seed);
    std::expected<std::uint32_t, DatError> write_subtree(std::span<const DatFileEntry> entries,
                                                         std::size_t capacity);

    int fd_ = -1;
    std::uint32_t block_size_;
    std::uint64_t end_;
    std::uint32_t random_state_;
    DatHeader header_;
};

}  // namespace tarnwick_dat
