#pragma once

// An open archive (`DatDatabase`): its header, its directory, and each file's bytes by id.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <utility>
#include <vector>
#include "tarnwick_dat/error.hpp"
#include "tarnwick_dat/file_type.hpp"
#include "tarnwick_dat/layout.hpp"
#include "tarnwick_dat/record_reader.hpp"
#include "tarnwick_dat/utils/positioned_read.hpp"

namespace tarnwick_dat {
// Declared only: a public header includes no internal one.
class ReadWindow;

// The 80-byte archive header. No field is validated on reading.
struct TARNWICK_DAT_API DatHeader {
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
    static constexpr std::size_t version_string_length = header_field::version_string_length;
    static constexpr std::size_t byte_length = dat_header_length;

    // Reads the header at the reader's position (offset 320 of an archive).
    static std::expected<DatHeader, ReadError> read(Reader& reader);

    DatKind dat_kind() const;
};

// One directory entry: where a file's block chain starts and how many bytes it holds.
struct TARNWICK_DAT_API DatFileEntry {
    TARNWICK_RECORD(DatFileEntry);
    TARNWICK_FIELD(std::uint32_t, bit_flags);
    TARNWICK_FIELD(std::uint32_t, id);
    TARNWICK_FIELD(std::uint32_t, offset);
    TARNWICK_FIELD(std::uint32_t, size);
    TARNWICK_FIELD(std::uint32_t, timestamp);
    TARNWICK_FIELD(std::uint32_t, version);

    static constexpr std::size_t byte_length = dat_entry_length;
    static constexpr std::uint32_t compressed_flag = 1;

    static std::expected<DatFileEntry, ReadError> read(Reader& reader);
    // The entry whose stored bytes these are; decoding them cannot fail.
    static DatFileEntry decode(std::span<const std::uint8_t, byte_length> bytes);

    bool is_compressed() const { return (bit_flags & compressed_flag) != 0; }
    // `timestamp` as a time point: seconds since 1970-01-01 UTC.
    std::chrono::sys_seconds modified_time() const {
        return std::chrono::sys_seconds{std::chrono::seconds{timestamp}};
    }
};

// The directory tree as it was read: the distinct nodes read (a shared node once) and the
// number of nodes on its longest path from the root (0 for an empty directory).
struct DirectoryShape {
    std::size_t nodes = 0;
    std::size_t depth = 0;
};

// An id and its entry as the directory holds them, named as a map's pairs are, and turned into
// one where a map is built from the directory.
struct DirectoryPair {
    std::uint32_t first = 0;
    DatFileEntry second;

    operator std::pair<const std::uint32_t, DatFileEntry>() const { return {first, second}; }
    operator std::pair<std::uint32_t, DatFileEntry>() const { return {first, second}; }
};

// An archive's directory, read like a read-only map of id to entry: each id once, as pairs of
// the id and its entry in ascending id order, found by binary search. One flat table, sorted once
// when the archive is opened, costs far less to build and to walk than a node for each entry.
class TARNWICK_DAT_API DatDirectory {
  public:
    using value_type = DirectoryPair;
    using const_iterator = const value_type*;
    using iterator = const_iterator;

    DatDirectory() = default;
    // A copy holds a table of its own; a directory moved from is empty.
    DatDirectory(const DatDirectory& other);
    DatDirectory& operator=(const DatDirectory& other);
    DatDirectory(DatDirectory&& other) noexcept;
    DatDirectory& operator=(DatDirectory&& other) noexcept;
    ~DatDirectory() = default;

    const_iterator begin() const { return table_.get(); }
    const_iterator end() const { return table_.get() + size_; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    // The pair of `id`, or `end()`.
    const_iterator find(std::uint32_t id) const;
    bool contains(std::uint32_t id) const { return find(id) != end(); }

  private:
    friend class DatDatabase;
    // Taken with malloc and grown with realloc while the directory is read, so that the pages of
    // a large table move as it grows instead of being copied to new ones.
    struct Free {
        void operator()(value_type* table) const noexcept;
    };
    std::unique_ptr<value_type[], Free> table_;
    std::size_t size_ = 0;
};

// An open archive: its header, its whole directory, and the file, kept open for reading. The
// directory is read once, at open; nothing a caller does changes it.
//
//   auto dat = tarnwick_dat::DatDatabase::open("portal.dat");
//   if (!dat) { log(dat.error().display()); return; }
//   for (const DatFileEntry& entry : dat->entries(DatFileType::Clothing)) {
//       auto bytes = dat->get_file(entry.id);  // expanded when stored compressed
//   }
class TARNWICK_DAT_API DatDatabase {
  public:
    // Opens the archive read-only, reads its header and loads its whole directory.
    //
    // Memory that cannot be had (a huge expansion under an address-space limit) is an error
    // like any other: `open`, `read_file_data*`, `get_file` and `expanded_size` give
    // `DatError::Io` of kind `OutOfMemory` ("Cannot allocate memory") instead of throwing.
    static std::expected<DatDatabase, DatError> open(const std::filesystem::path& path);
    // The same over the caller's positioned reads (bytes in memory, a file of its own); the
    // archive keeps `source` and reads from it for as long as it lives.
    static std::expected<DatDatabase, DatError> open(std::unique_ptr<const FileExtPolyfill> source);
    // Both, keeping in the directory only the entries of files of type `only` (as `type_of`
    // tells): the whole tree is read and checked all the same, with the same errors, but
    // `files()`, `entries`, `get_file` and `expanded_size` know only those files. For a program
    // that looks at one type of file, a large archive's directory then costs a fraction of the
    // memory and time.
    static std::expected<DatDatabase, DatError> open(const std::filesystem::path& path,
                                                     DatFileType only);
    static std::expected<DatDatabase, DatError> open(std::unique_ptr<const FileExtPolyfill> source,
                                                     DatFileType only);

    const DatHeader& header() const { return header_; }
    DatKind dat_kind() const { return header_.dat_kind(); }
    // Every directory entry by id, in ascending id order.
    const DatDirectory& files() const { return files_; }
    // The positioned reads the archive is read through, for callers that look at its blocks
    // themselves (a consistency check), and the file's length when it was opened.
    const FileExtPolyfill& source() const { return *file_; }
    std::uint64_t file_length() const { return file_length_; }
    const DirectoryShape& directory_shape() const { return directory_shape_; }

    // The entries in ascending id order; with `type`, only those of that type (see `type_of`).
    std::vector<DatFileEntry> entries(std::optional<DatFileType> type = std::nullopt) const;
    // What the file `id` holds, as its id tells in an archive of this kind.
    DatFileType type_of(std::uint32_t id) const { return from_id_in_dat(id, dat_kind()); }

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

    // A chain's bytes, a run of contiguous blocks in one read (see `read_chain`).
    std::expected<std::vector<std::uint8_t>, DatError> read_file_data(std::uint32_t offset,
                                                                      std::uint32_t size) const;
    // The same through the caller's window, into `out`, whose room is kept from read to read
    // (emptied when the read fails), so that chains read one after another cost few reads and
    // no allocation each.
    std::expected<void, DatError> read_file_data(std::uint32_t offset, std::uint32_t size,
                                                 ReadWindow& window,
                                                 std::vector<std::uint8_t>& out) const;
    // The same into `out`, as many bytes as it holds: a chain's bytes straight where they are
    // wanted. After a failure its bytes are unspecified.
    std::expected<void, DatError> read_file_data(std::uint32_t offset, ReadWindow& window,
                                                 std::span<std::uint8_t> out) const;
    // The same reads through the caller's window and the same error, keeping none of the bytes:
    // whether a chain reads whole, when its bytes are not wanted.
    std::expected<void, DatError> check_file_data(std::uint32_t offset, std::uint32_t size,
                                                  ReadWindow& window) const;
    // The same, one read for every link word and every payload: the reference for the above.
    std::expected<std::vector<std::uint8_t>, DatError> read_file_data_exact(
        std::uint32_t offset, std::uint32_t size) const;

    DatDatabase(DatDatabase&& other) noexcept;
    DatDatabase& operator=(DatDatabase&& other) noexcept;
    DatDatabase(const DatDatabase&) = delete;
    DatDatabase& operator=(const DatDatabase&) = delete;
    ~DatDatabase();

  private:
    struct Walk;

    static std::expected<DatDatabase, DatError> open_unguarded(
        std::unique_ptr<const FileExtPolyfill> source, std::optional<DatFileType> only);

    DatDatabase(DatHeader header, std::unique_ptr<const FileExtPolyfill> file,
                std::uint64_t file_length);

    // Walks the tree from the header's root into `files_` (the entries of type `only`, if
    // given), reading each node once; a later duplicate id (in pre-order: a node's entries before
    // its children's) replaces the earlier.
    std::expected<void, DatError> read_directory(std::optional<DatFileType> only);
    // Reads the node at `offset` and, depth first, its children; its entries go into the walk's
    // table between its branches, so that a well-formed tree comes out in ascending id order.
    std::expected<void, DatError> walk_node(std::uint32_t offset, Walk& walk);

    DatHeader header_;
    DatDirectory files_;
    std::unique_ptr<const FileExtPolyfill> file_;
    // The length of `file_` when it was opened.
    std::uint64_t file_length_;
    DirectoryShape directory_shape_;
};

}  // namespace tarnwick_dat
