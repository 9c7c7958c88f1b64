#include "lib.hpp"

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

}  // namespace tarnwick_dat
