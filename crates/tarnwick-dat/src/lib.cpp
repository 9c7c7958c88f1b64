#include "tarnwick_dat/lib.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>

#include "tarnwick_base/expected.hpp"
#include "tarnwick_dat/block_chain.hpp"
#include "tarnwick_dat/utils/archive_file.hpp"
#include "tarnwick_dat/utils/lrs_format.hpp"
#include "tarnwick_dat/utils/read_window.hpp"

namespace tarnwick_dat {

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

}  // namespace tarnwick_dat
