#include "tarnwick_dat/lib.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory_resource>
#include <new>
#include <numeric>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <unordered_set>
#include <utility>

#include "tarnwick_base/expected.hpp"
#include "tarnwick_base/hex.hpp"
#include "tarnwick_base/little_endian.hpp"
#include "tarnwick_dat/block_chain.hpp"
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

namespace {

// The entry stored at `at` in `bytes`: its six numbers copied at once. A function of this file
// alone, so that the directory walk has it inlined.
DatFileEntry decode_entry(std::span<const std::uint8_t> bytes, std::size_t at) {
    std::array<std::uint32_t, 6> fields{};
    static_assert(sizeof(fields) == DatFileEntry::byte_length);
    std::memcpy(fields.data(), bytes.subspan(at).first<DatFileEntry::byte_length>().data(),
                sizeof(fields));
    using tarnwick_base::from_le;
    DatFileEntry entry;
    entry.bit_flags = from_le(fields[0]);
    entry.id = from_le(fields[1]);
    entry.offset = from_le(fields[2]);
    entry.size = from_le(fields[3]);
    entry.timestamp = from_le(fields[4]);
    entry.version = from_le(fields[5]);
    return entry;
}

}  // namespace

DatFileEntry DatFileEntry::decode(std::span<const std::uint8_t, byte_length> bytes) {
    return decode_entry(bytes, 0);
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
// branches is read once, since reading it again would give the same entries again. The walk
// reads ahead through its own window (nodes tend to lie together), each level of the tree into
// its own buffer, since a node's entries are taken between its children.
struct DatDatabase::Walk {
    Walk(std::optional<DatFileType> kept_type, DatKind archive_kind)
        : only{kept_type}, kind{archive_kind} {}

    // The entries kept: all, or those of one type.
    std::optional<DatFileType> only;
    DatKind kind;
    // The nodes from the root to the one being read: at most `dat_max_tree_depth`.
    std::vector<std::uint32_t> on_path;
    std::pmr::monotonic_buffer_resource finished_memory;
    std::pmr::unordered_set<std::uint32_t> finished{&finished_memory};
    ReadWindow window;
    std::array<std::vector<std::uint8_t>, dat_max_tree_depth> nodes;
    // The entries in the order taken. The entries of one call of `add` are consecutive in
    // pre-order (a node's entries before its children's), where the later of two entries with one
    // id is the one kept: their place there is kept once for them all, and only a table that
    // needs sorting works out each entry's.
    struct Run {
        std::size_t at;    // in `table`
        std::size_t rank;  // in pre-order, of the entry at `at`
    };
    DatDirectory table;
    std::size_t capacity = 0;
    std::vector<Run> runs;
    std::size_t preorder = 0;
    bool ascending = true;

    // Room for `count` more pairs at the table's end, where they are then written.
    DatDirectory::value_type* extend(std::size_t count) {
        const std::size_t at = table.size_;
        if (count > capacity - at) {
            resize_storage(std::max(at + count, 2 * capacity));
        }
        table.size_ += count;
        return table.table_.get() + at;
    }
    // The table's storage made `count` pairs long.
    void resize_storage(std::size_t count) {
        if (count == 0) {  // realloc to no bytes is the implementation's choice
            table.table_.reset();
            capacity = 0;
            return;
        }
        if (count > std::numeric_limits<std::size_t>::max() / sizeof(DatDirectory::value_type)) {
            throw std::bad_alloc{};
        }
        void* moved = std::realloc(table.table_.get(), count * sizeof(DatDirectory::value_type));
        if (moved == nullptr) {
            throw std::bad_alloc{};
        }
        (void)table.table_.release();
        table.table_.reset(static_cast<DatDirectory::value_type*>(moved));
        capacity = count;
    }

    // The node's entries `from` to `to` that are kept; its first entry is the `rank`th in
    // pre-order. Written through pointers into room made beforehand, for the many thousands of
    // entries; an entry not kept costs a look at its id. The kept ones are ranked as if
    // consecutive: they stay in their order and within the node's ranks, which no other node's
    // entries share, and that is all the sort by rank needs.
    void add(std::span<const std::uint8_t> node, std::size_t from, std::size_t to,
             std::size_t rank) {
        const std::size_t at = table.size();
        runs.push_back({at, rank + from});
        DatDirectory::value_type* const room = extend(to - from);
        DatDirectory::value_type* out = room;
        bool in_order = ascending;
        std::uint32_t last = at == 0 ? 0 : room[-1].first;
        bool first = at == 0;
        for (std::size_t i = from; i < to; ++i) {
            const std::size_t entry_at = dat_node_entries_at + i * DatFileEntry::byte_length;
            if (only && from_id_in_dat(load_u32(node, entry_at + dat_entry_id_at), kind) != *only) {
                continue;
            }
            const DatFileEntry entry = decode_entry(node, entry_at);
            in_order = in_order && (first || last < entry.id);
            first = false;
            last = entry.id;
            *out++ = {entry.id, entry};
        }
        table.size_ = at + static_cast<std::size_t>(out - room);
        ascending = in_order;
    }

    // The table sorted by id, the later in pre-order kept of each id: for a tree that is not a
    // search tree, or gives an id twice.
    void sort_by_id() {
        std::vector<std::size_t> ranks(table.size());
        for (std::size_t run = 0; run < runs.size(); ++run) {
            const std::size_t end = run + 1 < runs.size() ? runs[run + 1].at : table.size();
            for (std::size_t at = runs[run].at; at < end; ++at) {
                ranks[at] = runs[run].rank + (at - runs[run].at);
            }
        }
        const DatDirectory::value_type* pairs = table.begin();
        std::vector<std::size_t> order(table.size());
        std::iota(order.begin(), order.end(), std::size_t{0});
        std::ranges::sort(order, {}, [pairs, &ranks](std::size_t at) {
            return std::pair{pairs[at].first, ranks[at]};
        });
        std::vector<DatDirectory::value_type> sorted;
        sorted.reserve(table.size());
        for (const std::size_t at : order) {
            if (!sorted.empty() && sorted.back().first == pairs[at].first) {
                sorted.back() = pairs[at];
            } else {
                sorted.push_back(pairs[at]);
            }
        }
        std::ranges::copy(sorted, table.table_.get());
        table.size_ = sorted.size();
    }
};

static_assert(std::is_trivially_copyable_v<DatDirectory::value_type>,
              "the directory's table is grown by realloc");

void DatDirectory::Free::operator()(value_type* table) const noexcept {
    std::free(table);
}

DatDirectory::DatDirectory(const DatDirectory& other) : size_{other.size_} {
    if (size_ != 0) {
        table_.reset(static_cast<value_type*>(std::malloc(size_ * sizeof(value_type))));
        if (!table_) {
            throw std::bad_alloc{};
        }
        std::memcpy(table_.get(), other.table_.get(), size_ * sizeof(value_type));
    }
}

DatDirectory& DatDirectory::operator=(const DatDirectory& other) {
    if (this != &other) {
        *this = DatDirectory{other};
    }
    return *this;
}

DatDirectory::DatDirectory(DatDirectory&& other) noexcept
    : table_{std::move(other.table_)}, size_{std::exchange(other.size_, 0)} {}

DatDirectory& DatDirectory::operator=(DatDirectory&& other) noexcept {
    table_ = std::move(other.table_);
    size_ = std::exchange(other.size_, 0);
    return *this;
}

DatDirectory::const_iterator DatDirectory::find(std::uint32_t id) const {
    const auto found = std::ranges::lower_bound(begin(), end(), id, {}, &value_type::first);
    return found != end() && found->first == id ? found : end();
}

DatDatabase::DatDatabase(DatHeader header, std::unique_ptr<const FileExtPolyfill> file,
                         std::uint64_t file_length)
    : header_{std::move(header)}, file_{std::move(file)}, file_length_{file_length} {}

DatDatabase::DatDatabase(DatDatabase&& other) noexcept = default;
DatDatabase& DatDatabase::operator=(DatDatabase&& other) noexcept = default;
DatDatabase::~DatDatabase() = default;

namespace {

std::expected<DatDatabase, DatError> open_path(const std::filesystem::path& path,
                                               const auto& open_source) {
    return within_memory([&]() -> std::expected<DatDatabase, DatError> {
        auto file = ArchiveFile::open_read_only(path);
        if (!file) {
            return std::unexpected{DatError{DatError::PathError{path, file.error()}}};
        }
        return open_source(std::make_unique<ArchiveFile>(std::move(*file)));
    });
}

}  // namespace

std::expected<DatDatabase, DatError> DatDatabase::open(const std::filesystem::path& path) {
    return open_path(path, [](auto source) { return open_unguarded(std::move(source), {}); });
}

std::expected<DatDatabase, DatError> DatDatabase::open(
    std::unique_ptr<const FileExtPolyfill> source) {
    return within_memory([&source] { return open_unguarded(std::move(source), {}); });
}

std::expected<DatDatabase, DatError> DatDatabase::open(const std::filesystem::path& path,
                                                       DatFileType only) {
    return open_path(path, [only](auto source) { return open_unguarded(std::move(source), only); });
}

std::expected<DatDatabase, DatError> DatDatabase::open(
    std::unique_ptr<const FileExtPolyfill> source, DatFileType only) {
    return within_memory([&source, only] { return open_unguarded(std::move(source), only); });
}

std::expected<DatDatabase, DatError> DatDatabase::open_unguarded(
    std::unique_ptr<const FileExtPolyfill> source, std::optional<DatFileType> only) {
    auto header = read_header(*source);
    if (!header) {
        return tarnwick_base::take_error(header);
    }
    // Without a length every chain read asks for it, and meets the failure there.
    const std::uint64_t length = source->length().value_or(0);
    DatDatabase database{std::move(*header), std::move(source), length};
    TARNWICK_TRY(database.read_directory(only));
    return database;
}

std::vector<DatFileEntry> DatDatabase::entries(std::optional<DatFileType> type) const {
    std::vector<DatFileEntry> listed;
    if (!type) {
        listed.reserve(files_.size());
    }
    const DatKind kind = dat_kind();
    const auto take = [&](DatDirectory::const_iterator from, DatDirectory::const_iterator to) {
        for (; from != to; ++from) {
            if (!type || from_id_in_dat(from->first, kind) == *type) {
                listed.push_back(from->second);
            }
        }
    };
    // In portal and local archives an id's first byte gives its type, the iteration id's aside:
    // only the runs of ids whose first byte is of that type are looked at.
    if (type && (kind == DatKind::Portal || kind == DatKind::Local) &&
        *type != DatFileType::Iteration) {
        const auto first_at = [&](std::uint32_t id) {
            return std::ranges::lower_bound(files_, id, {}, &DatDirectory::value_type::first);
        };
        for (std::uint32_t prefix = 0; prefix <= 0xFF; ++prefix) {
            if (classify_portal_prefix(static_cast<std::uint8_t>(prefix)) == *type) {
                take(first_at(prefix << 24),
                     prefix == 0xFF ? files_.end() : first_at((prefix + 1) << 24));
            }
        }
        return listed;
    }
    take(files_.begin(), files_.end());
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

std::expected<void, DatError> DatDatabase::read_file_data(std::uint32_t offset, std::uint32_t size,
                                                          ReadWindow& window,
                                                          std::vector<std::uint8_t>& out) const {
    auto read = within_memory([&] {
        return read_chain(chains(*file_, header_, file_length_), offset, size, window, out);
    });
    if (!read) {
        out.clear();
    }
    return read;
}

std::expected<void, DatError> DatDatabase::read_file_data(std::uint32_t offset, ReadWindow& window,
                                                          std::span<std::uint8_t> out) const {
    return within_memory(
        [&] { return read_chain(chains(*file_, header_, file_length_), offset, window, out); });
}

std::expected<void, DatError> DatDatabase::check_file_data(std::uint32_t offset, std::uint32_t size,
                                                           ReadWindow& window) const {
    return within_memory(
        [&] { return check_chain(chains(*file_, header_, file_length_), offset, size, window); });
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
        return declared_lrs_size(prefix);
    });
}

std::expected<void, DatError> DatDatabase::read_directory(std::optional<DatFileType> only) {
    Walk walk{only, dat_kind()};
    TARNWICK_TRY(walk_node(header_.root_offset, walk));
    if (!walk.ascending) {
        walk.sort_by_id();
    }
    // Trimmed to its length: a large table's tail is given back without a copy.
    walk.resize_storage(walk.table.size());
    files_ = std::move(walk.table);
    return {};
}

std::expected<void, DatError> DatDatabase::walk_node(std::uint32_t offset, Walk& walk) {
    if (offset == 0) {
        return {};
    }
    if (walk.finished.contains(offset)) {
        return {};
    }
    const std::size_t level = walk.on_path.size();
    if (level >= dat_max_tree_depth) {
        return std::unexpected{corruption("directory tree deeper than " +
                                          std::to_string(dat_max_tree_depth) +
                                          " levels at node offset 0x" + hex_lower(offset))};
    }
    if (std::ranges::find(walk.on_path, offset) != walk.on_path.end()) {
        return std::unexpected{corruption("directory node at offset 0x" + hex_lower(offset) +
                                          " is reached again through its own branches")};
    }
    walk.on_path.push_back(offset);
    directory_shape_.nodes += 1;
    directory_shape_.depth = std::max(directory_shape_.depth, walk.on_path.size());
    std::vector<std::uint8_t>& buffer = walk.nodes[level];
    TARNWICK_TRY(read_chain(chains(*file_, header_, file_length_), offset, dat_node_length,
                            walk.window, buffer));
    // The children read into the buffers below this one, which stays as it is.
    const std::span<const std::uint8_t> node = buffer;
    const std::uint32_t entry_count = load_u32(node, dat_node_count_at);
    if (entry_count > dat_node_entry_slots) {
        // The entry after the last slot has no bytes; the record reader names where it fails.
        ByteReader past_the_slots{node.subspan(dat_node_length)};
        return std::unexpected{DatError{DatFileEntry::read(past_the_slots).error()}};
    }
    const std::size_t rank = walk.preorder;
    walk.preorder += entry_count;
    // Branch i leads to the ids below entry i, the one after the last entry to those above it;
    // a node whose first branch is 0 has no children.
    if (load_u32(node, 0) == 0) {
        walk.add(node, 0, entry_count, rank);
    } else {
        for (std::size_t i = 0; i <= entry_count; ++i) {
            TARNWICK_TRY(walk_node(load_u32(node, 4 * i), walk));
            if (i < entry_count) {
                walk.add(node, i, i + 1, rank);
            }
        }
    }
    walk.on_path.pop_back();
    walk.finished.insert(offset);
    return {};
}

}  // namespace tarnwick_dat
