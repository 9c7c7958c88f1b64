#include "lib.hpp"

#include <array>

#include "text.hpp"

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

DatError corruption(std::string text) {
    return DatError{DatError::Corruption{std::move(text)}};
}

std::uint32_t little_endian_u32(std::span<const std::uint8_t, 4> bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

// Refuses what no chain of this archive can hold, before the output is allocated.
std::expected<void, DatError> check_chain_request(const FileExtPolyfill& file,
                                                  std::uint32_t block_size, std::uint32_t offset,
                                                  std::uint32_t size) {
    if (block_size <= 4) {
        return std::unexpected{corruption("block size " + std::to_string(block_size) +
                                          " leaves no room for payload in the chain at offset 0x" +
                                          hex_lower(offset))};
    }
    auto length = file.length();
    if (!length) {
        return std::unexpected{DatError{length.error()}};
    }
    // Every byte gathered lies in the file, so a larger request ends in the read's own
    // end-of-data failure; it is given before allocating.
    if (size > *length) {
        return std::unexpected{DatError{IoError::fill_whole_buffer_eof()}};
    }
    return {};
}

}  // namespace

std::expected<std::vector<std::uint8_t>, DatError> read_file_data(const FileExtPolyfill& file,
                                                                  std::uint32_t block_size,
                                                                  std::uint32_t offset,
                                                                  std::uint32_t size) {
    if (size == 0) {
        return std::vector<std::uint8_t>{};
    }
    if (auto checked = check_chain_request(file, block_size, offset, size); !checked) {
        return std::unexpected{std::move(checked.error())};
    }
    std::vector<std::uint8_t> data(size);
    const std::uint32_t block_payload = block_size - 4;
    std::size_t filled = 0;
    std::uint64_t current = offset;
    while (filled < data.size()) {
        std::array<std::uint8_t, 4> link_bytes{};
        if (auto read = file.read_exact_at_compat(link_bytes, current); !read) {
            return std::unexpected{DatError{read.error()}};
        }
        const std::uint32_t link = little_endian_u32(link_bytes);
        const std::size_t remaining = data.size() - filled;
        const std::size_t take =
            link == 0 ? remaining : std::min<std::size_t>(remaining, block_payload);
        if (auto read =
                file.read_exact_at_compat(std::span{data}.subspan(filled, take), current + 4);
            !read) {
            return std::unexpected{DatError{read.error()}};
        }
        filled += take;
        current = link;
    }
    return data;
}

std::expected<DatDatabase, DatError> DatDatabase::open(const std::filesystem::path& path) {
    auto file = ArchiveFile::open_read_only(path);
    if (!file) {
        return std::unexpected{DatError{DatError::PathError{path, file.error()}}};
    }
    FileReader reader{file->fd()};
    if (auto moved = reader.seek(dat_header_offset); !moved) {
        return std::unexpected{DatError{moved.error()}};
    }
    auto header = DatHeader::read(reader);
    if (!header) {
        return std::unexpected{DatError{std::move(header.error())}};
    }
    DatDatabase database{std::move(*header), std::move(*file)};
    if (auto loaded = database.read_directory(); !loaded) {
        return std::unexpected{std::move(loaded.error())};
    }
    return database;
}

std::expected<std::vector<std::uint8_t>, DatError> DatDatabase::read_file_data(
    std::uint32_t offset, std::uint32_t size) const {
    return tarnwick_dat::read_file_data(file, header.block_size, offset, size);
}

std::expected<std::vector<std::uint8_t>, DatError> DatDatabase::get_file(std::uint32_t id) const {
    const auto found = files.find(id);
    if (found == files.end()) {
        return std::unexpected{DatError{DatError::NotFound{id}}};
    }
    const DatFileEntry& entry = found->second;
    auto stored = read_file_data(entry.offset, entry.size);
    if (!stored || !entry.is_compressed()) {
        return stored;
    }
    return decompress_lrs(*stored);
}

std::expected<void, DatError> DatDatabase::read_directory() {
    return read_node(header.root_offset);
}

std::expected<void, DatError> DatDatabase::read_node(std::uint32_t offset) {
    Walk walk;
    return read_node(offset, walk);
}

std::expected<void, DatError> DatDatabase::read_node(std::uint32_t offset, Walk& walk) {
    if (offset == 0) {
        return {};
    }
    if (walk.depth >= dat_max_tree_depth) {
        return std::unexpected{corruption("directory tree deeper than " +
                                          std::to_string(dat_max_tree_depth) +
                                          " levels at node offset 0x" + hex_lower(offset))};
    }
    if (!walk.visited.insert(offset).second) {
        return std::unexpected{corruption("directory node at offset 0x" + hex_lower(offset) +
                                          " is reached a second time")};
    }
    auto node = read_file_data(offset, dat_node_length);
    if (!node) {
        return std::unexpected{std::move(node.error())};
    }
    ByteReader reader{*node};
    std::array<std::uint32_t, dat_node_branch_count> branches{};
    for (std::uint32_t& branch : branches) {
        branch = *read_u32(reader);  // the node holds all 62 branches and the count
    }
    const std::uint32_t entry_count = *read_u32(reader);
    for (std::uint32_t i = 0; i < entry_count; ++i) {
        auto entry = DatFileEntry::read(reader);
        if (!entry) {
            return std::unexpected{DatError{std::move(entry.error())}};
        }
        files.insert_or_assign(entry->id, *entry);
    }
    if (branches[0] == 0) {
        return {};
    }
    const std::size_t followed =
        std::min<std::size_t>(static_cast<std::size_t>(entry_count) + 1, branches.size());
    ++walk.depth;
    for (std::size_t i = 0; i < followed; ++i) {
        if (branches[i] == 0) {
            continue;
        }
        if (auto child = read_node(branches[i], walk); !child) {
            return child;
        }
    }
    --walk.depth;
    return {};
}

}  // namespace tarnwick_dat
