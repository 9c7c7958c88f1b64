#include "tarnwick_dat/lib.hpp"

#include <array>
#include <string>

#include "tarnwick_base/hex.hpp"

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

DatError corruption(std::string text) {
    return DatError{DatError::Corruption{std::move(text)}};
}

}  // namespace

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
    if (branches[0] != 0) {
        const std::size_t followed =
            std::min<std::size_t>(static_cast<std::size_t>(entry_count) + 1, branches.size());
        for (std::size_t i = 0; i < followed; ++i) {
            if (branches[i] == 0) {
                continue;
            }
            if (auto child = read_node(branches[i], walk); !child) {
                return child;
            }
        }
    }
    walk.on_path.erase(offset);
    walk.finished.insert(offset);
    return {};
}

}  // namespace tarnwick_dat
