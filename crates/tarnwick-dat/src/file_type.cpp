#include "tarnwick_dat/file_type.hpp"

#include <algorithm>
#include <array>

namespace tarnwick_dat {
namespace {

constexpr std::uint32_t iteration_id = 0xFFFF0001;
constexpr std::uint32_t landblock_suffix = 0xFFFF;
constexpr std::uint32_t landblock_info_suffix = 0xFFFE;
constexpr std::uint8_t second_texture_prefix = 0x07;

constexpr std::uint8_t prefix_of(std::uint32_t id) {
    return static_cast<std::uint8_t>(id >> 24);
}
constexpr std::uint32_t suffix_of(std::uint32_t id) {
    return id & 0xFFFF;
}

// Every top byte mapped to its type, Unknown where none is named.
constexpr std::array<DatFileType, 256> portal_prefix_table() {
    std::array<DatFileType, 256> table{};
    table.fill(DatFileType::Unknown);
#define TARNWICK_PORTAL_PREFIX_ENTRY(name, value) table[value] = DatFileType::name;
    TARNWICK_PORTAL_FILE_TYPES(TARNWICK_PORTAL_PREFIX_ENTRY)
#undef TARNWICK_PORTAL_PREFIX_ENTRY
    table[second_texture_prefix] = DatFileType::Texture;
    return table;
}

constexpr std::array<DatFileType, 256> portal_prefixes = portal_prefix_table();

#define TARNWICK_FILE_TYPE_ITEM(name, value) DatFileType::name,
constexpr DatFileType every_file_type[] = {TARNWICK_PORTAL_FILE_TYPES(TARNWICK_FILE_TYPE_ITEM)
                                               TARNWICK_OTHER_FILE_TYPES(TARNWICK_FILE_TYPE_ITEM)};
#undef TARNWICK_FILE_TYPE_ITEM

// ASCII letters only: type names are ASCII, and the locale must not matter.
constexpr char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The landblock patterns of the low 16 bits, Unknown when the suffix is neither.
DatFileType landblock_type(std::uint32_t suffix) {
    if (suffix == landblock_suffix) {
        return DatFileType::Landblock;
    }
    if (suffix == landblock_info_suffix) {
        return DatFileType::LandblockInfo;
    }
    return DatFileType::Unknown;
}

DatFileType cell_type(std::uint32_t suffix) {
    if (suffix == 0) {
        return DatFileType::Unknown;
    }
    const DatFileType landblock = landblock_type(suffix);
    return landblock == DatFileType::Unknown ? DatFileType::IndoorCell : landblock;
}

}  // namespace

std::string_view dat_kind_name(DatKind kind) {
    switch (kind) {
        case DatKind::Portal:
            return "Portal";
        case DatKind::Cell:
            return "Cell";
        case DatKind::Local:
            return "Local";
        case DatKind::Unknown:
            break;
    }
    return "Unknown";
}

std::string_view file_type_name(DatFileType type) {
    switch (type) {
#define TARNWICK_FILE_TYPE_NAME(name, value) \
    case DatFileType::name:                  \
        return #name;
        TARNWICK_PORTAL_FILE_TYPES(TARNWICK_FILE_TYPE_NAME)
        TARNWICK_OTHER_FILE_TYPES(TARNWICK_FILE_TYPE_NAME)
#undef TARNWICK_FILE_TYPE_NAME
    }
    return "Unknown";
}

std::optional<DatFileType> file_type_by_name(std::string_view name) {
    const auto same = [](char a, char b) { return lower(a) == lower(b); };
    for (const DatFileType type : every_file_type) {
        if (std::ranges::equal(file_type_name(type), name, same)) {
            return type;
        }
    }
    return std::nullopt;
}

std::span<const DatFileType> all_file_types() {
    return every_file_type;
}

DatFileType classify_portal_prefix(std::uint8_t prefix) {
    return portal_prefixes[prefix];
}

DatFileType from_id(std::uint32_t id) {
    if (id == iteration_id) {
        return DatFileType::Iteration;
    }
    const std::uint32_t suffix = suffix_of(id);
    if (const DatFileType landblock = landblock_type(suffix); landblock != DatFileType::Unknown) {
        return landblock;
    }
    if (const DatFileType portal = classify_portal_prefix(prefix_of(id));
        portal != DatFileType::Unknown) {
        return portal;
    }
    return suffix == 0 ? DatFileType::Unknown : DatFileType::IndoorCell;
}

DatFileType from_id_in_dat(std::uint32_t id, DatKind dat_kind) {
    if (id == iteration_id) {
        return DatFileType::Iteration;
    }
    switch (dat_kind) {
        case DatKind::Cell:
            return cell_type(suffix_of(id));
        case DatKind::Portal:
        case DatKind::Local:
            return classify_portal_prefix(prefix_of(id));
        case DatKind::Unknown:
            break;
    }
    return from_id(id);
}

}  // namespace tarnwick_dat
