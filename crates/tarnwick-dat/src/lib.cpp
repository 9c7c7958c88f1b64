#include "tarnwick_dat/lib.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <new>
#include <stdexcept>
#include <string>
#include <unordered_set>

#include "tarnwick_base/expected.hpp"
#include "tarnwick_base/hex.hpp"
#include "tarnwick_base/little_endian.hpp"
#include "tarnwick_dat/block_chain.hpp"
#include "tarnwick_dat/directory_pool.hpp"
#include "tarnwick_dat/utils/archive_file.hpp"
#include "tarnwick_dat/utils/lrs_format.hpp"
#include "tarnwick_dat/utils/read_window.hpp"

namespace tarnwick_dat {

using tarnwick_base::hex_lower;

std::expected<DatHeader, ReadError> DatHeader::read(Reader& reader) {
    RecordReader record{reader};
    DatHeader header;
    record.u32(header.magic, magic_site);
    record.u32(header.block_size, block_size_site);
    record.u32(header.file_size, file_size_site);
    record.u32(header.dataset, dataset_site);
    record.u32(header.subset, subset_site);
    record.u32(header.free_head, free_head_site);
    record.u32(header.free_tail, free_tail_site);
    record.u32(header.free_count, free_count_site);
    record.u32(header.root_offset, root_offset_site);
    record.u32(header.new_lru, new_lru_site);
    record.u32(header.old_lru, old_lru_site);
    record.u32(header.use_lru, use_lru_site);
    record.u32(header.master_map_id, master_map_id_site);
    record.u32(header.engine_version, engine_version_site);
    record.u32(header.game_version, game_version_site);
    record.bytes(header.version_string, version_string_length, version_string_site);
    record.u32(header.version_minor, version_minor_site);
    return record.finish(std::move(header));
}

DatKind DatHeader::dat_kind() const {
    if (magic != signature) {
        return DatKind::Unknown;
    }
    if (block_size == 0x400 && dataset == 1) {
        return DatKind::Portal;
    }
    if (block_size == 0x100 && dataset == 2) {
        return DatKind::Cell;
    }
    return DatKind::Local;
}

std::expected<DatFileEntry, ReadError> DatFileEntry::read(Reader& reader) {
    RecordReader record{reader};
    DatFileEntry entry;
    record.u32(entry.bit_flags, bit_flags_site);
    record.u32(entry.id, id_site);
    record.u32(entry.offset, offset_site);
    record.u32(entry.size, size_site);
    record.u32(entry.timestamp, timestamp_site);
    record.u32(entry.version, version_site);
    return record.finish(entry);
}

DatFileEntry DatFileEntry::decode(std::span<const std::uint8_t, byte_length> bytes) {
    const auto field = [bytes](std::size_t index) {
        return tarnwick_base::load_le<std::uint32_t>(bytes.subspan(4 * index).first<4>());
    };
    DatFileEntry entry;
    entry.bit_flags = field(0);
    entry.id = field(1);
    entry.offset = field(2);
    entry.size = field(3);
    entry.timestamp = field(4);
    entry.version = field(5);
    return entry;
}

namespace {

DatError corruption(std::string text) {
    return DatError{DatError::Corruption{std::move(text)}};
}

std::uint32_t load_u32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return tarnwick_base::load_le<std::uint32_t>(bytes.subspan(at).first<4>());
}

ChainSource chains(const FileExtPolyfill& file, const DatHeader& header,
                   std::uint64_t file_length) {
    return {file, header.block_size, file_length};
}

// The header as the record reader takes it, field by field.
std::expected<DatHeader, DatError> read_header_step_by_step(const FileExtPolyfill& file) {
    PositionedReader reader{file};
    TARNWICK_TRY(reader.seek(dat_header_offset));
    auto header = DatHeader::read(reader);
    if (!header) {
        return tarnwick_base::take_error(header);
    }
    return header;
}

// One positioned read of the whole header, decoded from memory. A file that cannot give all 80
// bytes is read again step by step, which names the field and the cause where it stops.
std::expected<DatHeader, DatError> read_header(const FileExtPolyfill& file) {
    std::array<std::uint8_t, DatHeader::byte_length> bytes{};
    if (auto read = file.read_exact_at_compat(bytes, dat_header_offset); !read) {
        // What cannot be read at an offset (a FIFO) cannot be sought to the header either: that
        // is the failure, before any field.
        if (read.error().kind() == IoErrorKind::NotSeekable) {
            return std::unexpected{DatError{std::move(read.error())}};
        }
        return read_header_step_by_step(file);
    }
    ByteReader reader{bytes};
    return *DatHeader::read(reader);  // 80 bytes always make a header
}

// Runs `read`, giving a failed allocation as an error: no exception leaves the library.
template <class Read>
auto within_memory(Read read) -> decltype(read()) {
    try {
        return read();
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    return std::unexpected{DatError{IoError::from_errno(ENOMEM)}};
}

}  // namespace

// A branch back to a node on the current path would never end; a node shared by several
// branches is read once, since reading it again would insert the same entries. The walk reads
// ahead through its own window (nodes tend to lie together) into one node buffer, and notes the
// nodes in the order read with the number of entries they hold.
struct DatDatabase::Walk {
    std::unordered_set<std::uint32_t> on_path;
    std::unordered_set<std::uint32_t> finished;
    ReadWindow window;
    std::vector<std::uint8_t> node;
    std::vector<std::uint32_t> order;
    std::size_t entries = 0;
};

DatDatabase::DatDatabase(DatHeader header, std::unique_ptr<const FileExtPolyfill> file,
                         std::uint64_t file_length)
    : directory_pool_{std::make_unique<DirectoryPool>()},
      header_{std::move(header)},
      files_{directory_pool_.get()},
      file_{std::move(file)},
      file_length_{file_length} {}

DatDatabase::DatDatabase(DatDatabase&& other) noexcept = default;
DatDatabase::~DatDatabase() = default;

std::expected<DatDatabase, DatError> DatDatabase::open(const std::filesystem::path& path) {
    return within_memory([&path]() -> std::expected<DatDatabase, DatError> {
        auto file = ArchiveFile::open_read_only(path);
        if (!file) {
            return std::unexpected{DatError{DatError::PathError{path, file.error()}}};
        }
        return open_unguarded(std::make_unique<ArchiveFile>(std::move(*file)));
    });
}

std::expected<DatDatabase, DatError> DatDatabase::open(
    std::unique_ptr<const FileExtPolyfill> source) {
    return within_memory([&source] { return open_unguarded(std::move(source)); });
}

std::expected<DatDatabase, DatError> DatDatabase::open_unguarded(
    std::unique_ptr<const FileExtPolyfill> source) {
    auto header = read_header(*source);
    if (!header) {
        return tarnwick_base::take_error(header);
    }
    // Without a length every chain read asks for it, and meets the failure there.
    const std::uint64_t length = source->length().value_or(0);
    DatDatabase database{std::move(*header), std::move(source), length};
    TARNWICK_TRY(database.read_directory());
    return database;
}

DatDatabase& DatDatabase::operator=(DatDatabase&& other) noexcept {
    if (this != &other) {
        std::destroy_at(this);
        std::construct_at(this, std::move(other));
    }
    return *this;
}

std::vector<DatFileEntry> DatDatabase::entries(std::optional<DatFileType> type) const {
    std::vector<DatFileEntry> listed;
    if (!type) {
        listed.reserve(files_.size());
    }
    for (const auto& [id, entry] : files_) {
        if (!type || type_of(id) == *type) {
            listed.push_back(entry);
        }
    }
    std::ranges::sort(listed, {}, &DatFileEntry::id);
    return listed;
}

std::expected<std::vector<std::uint8_t>, DatError> DatDatabase::read_file_data(
    std::uint32_t offset, std::uint32_t size) const {
    return within_memory([&]() -> std::expected<std::vector<std::uint8_t>, DatError> {
        ReadWindow window{0};
        std::vector<std::uint8_t> data;
        TARNWICK_TRY(read_chain(chains(*file_, header_, file_length_), offset, size, window, data));
        return data;
    });
}

std::expected<std::vector<std::uint8_t>, DatError> DatDatabase::read_file_data_exact(
    std::uint32_t offset, std::uint32_t size) const {
    return within_memory(
        [&] { return tarnwick_dat::read_file_data(*file_, header_.block_size, offset, size); });
}

std::expected<std::vector<std::uint8_t>, DatError> DatDatabase::get_file(std::uint32_t id) const {
    ReadWindow window{0};
    return get_file(id, window);
}

std::expected<std::vector<std::uint8_t>, DatError> DatDatabase::get_file(std::uint32_t id,
                                                                         ReadWindow& window) const {
    return within_memory([&]() -> std::expected<std::vector<std::uint8_t>, DatError> {
        const auto found = files_.find(id);
        if (found == files_.end()) {
            return std::unexpected{DatError{DatError::NotFound{id}}};
        }
        const DatFileEntry& entry = found->second;
        std::vector<std::uint8_t> stored;
        TARNWICK_TRY(read_chain(chains(*file_, header_, file_length_), entry.offset, entry.size,
                                window, stored));
        if (!entry.is_compressed()) {
            return stored;
        }
        return decompress_lrs(stored);
    });
}

std::expected<std::uint32_t, DatError> DatDatabase::expanded_size(std::uint32_t id) const {
    const auto found = files_.find(id);
    if (found == files_.end()) {
        return std::unexpected{DatError{DatError::NotFound{id}}};
    }
    const DatFileEntry& entry = found->second;
    // A stream shorter than its prefix is handed out as stored.
    if (!entry.is_compressed() || entry.size < lrs::size_prefix_length) {
        return entry.size;
    }
    return within_memory([&]() -> std::expected<std::uint32_t, DatError> {
        ReadWindow window{0};
        std::vector<std::uint8_t> prefix;
        TARNWICK_TRY(read_chain(chains(*file_, header_, file_length_), entry.offset,
                                lrs::size_prefix_length, window, prefix));
        return tarnwick_base::load_le<std::uint32_t>(
            std::span<const std::uint8_t>{prefix}.first<lrs::size_prefix_length>());
    });
}

std::expected<void, DatError> DatDatabase::read_directory() {
    return read_node(header_.root_offset);
}

std::expected<void, DatError> DatDatabase::read_node(std::uint32_t offset) {
    Walk walk;
    auto walked = walk_node(offset, walk);
    // What the walk read before any failure is in `files` all the same, as when each node's
    // entries went in as it was read.
    TARNWICK_TRY(insert_walked(walk));
    return walked;
}

std::expected<void, DatError> DatDatabase::walk_node(std::uint32_t offset, Walk& walk) {
    if (offset == 0) {
        return {};
    }
    if (walk.finished.contains(offset)) {
        return {};
    }
    if (walk.on_path.size() >= dat_max_tree_depth) {
        return std::unexpected{corruption("directory tree deeper than " +
                                          std::to_string(dat_max_tree_depth) +
                                          " levels at node offset 0x" + hex_lower(offset))};
    }
    if (!walk.on_path.insert(offset).second) {
        return std::unexpected{corruption("directory node at offset 0x" + hex_lower(offset) +
                                          " is reached again through its own branches")};
    }
    directory_shape_.nodes += 1;
    directory_shape_.depth = std::max(directory_shape_.depth, walk.on_path.size());
    TARNWICK_TRY(read_chain(chains(*file_, header_, file_length_), offset, dat_node_length,
                            walk.window, walk.node));
    // The children reuse the node buffer: keep what is needed of this node first.
    const std::span<const std::uint8_t> node = walk.node;
    std::array<std::uint32_t, dat_node_branch_count> branches{};
    for (std::size_t i = 0; i < branches.size(); ++i) {
        branches[i] = load_u32(node, 4 * i);
    }
    const std::uint32_t entry_count = load_u32(node, dat_node_count_at);
    walk.order.push_back(offset);
    walk.entries += std::min<std::size_t>(entry_count, dat_node_entry_slots);
    if (entry_count > dat_node_entry_slots) {
        // The entry after the last slot has no bytes; the record reader names where it fails.
        ByteReader past_the_slots{node.subspan(dat_node_length)};
        return std::unexpected{DatError{DatFileEntry::read(past_the_slots).error()}};
    }
    if (branches[0] != 0) {
        const std::size_t followed =
            std::min<std::size_t>(static_cast<std::size_t>(entry_count) + 1, branches.size());
        for (std::size_t i = 0; i < followed; ++i) {
            if (branches[i] == 0) {
                continue;
            }
            TARNWICK_TRY(walk_node(branches[i], walk));
        }
    }
    walk.on_path.erase(offset);
    walk.finished.insert(offset);
    return {};
}

std::expected<void, DatError> DatDatabase::insert_walked(Walk& walk) {
    // A node for each entry (a link and the pair) and a bucket pointer for each, the bucket
    // count being rounded up to a prime. A wrong guess only costs another block.
    constexpr std::size_t node_bytes =
        (sizeof(void*) + sizeof(FileMap::value_type) + alignof(void*) - 1) / alignof(void*) *
        alignof(void*);
    directory_pool_->expect(walk.entries * node_bytes +
                            (walk.entries * 5 / 4 + 64) * sizeof(void*));
    files_.reserve(files_.size() + walk.entries);
    for (const std::uint32_t offset : walk.order) {
        TARNWICK_TRY(read_chain(chains(*file_, header_, file_length_), offset, dat_node_length,
                                walk.window, walk.node));
        insert_entries(walk.node, load_u32(walk.node, dat_node_count_at));
    }
    return {};
}

void DatDatabase::insert_entries(std::span<const std::uint8_t> node, std::uint32_t count) {
    const std::size_t stored = std::min<std::size_t>(count, dat_node_entry_slots);
    for (std::size_t i = 0; i < stored; ++i) {
        const DatFileEntry entry =
            DatFileEntry::decode(node.subspan(dat_node_entries_at + i * DatFileEntry::byte_length)
                                     .first<DatFileEntry::byte_length>());
        files_.insert_or_assign(entry.id, entry);
    }
}

}  // namespace tarnwick_dat
