#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "commands.hpp"
#include "output.hpp"

namespace tarnwick_tool {

namespace {

// The longest file type name (19 characters), indented, and two spaces.
constexpr std::size_t label_width = 23;

std::string line(std::string_view label, std::string_view value, std::string_view indent = "") {
    std::string text{indent};
    text += label;
    text.append(label_width > text.size() ? label_width - text.size() : 1, ' ');
    text += value;
    text += '\n';
    return text;
}

std::string number(std::uint32_t value) {
    return std::to_string(value) + " (0x" + base::hex_upper(value, 8) + ")";
}

std::string header_lines(const dat::DatHeader& header) {
    const std::pair<std::string_view, std::uint32_t> numbers[] = {
        {"magic", header.magic},
        {"block_size", header.block_size},
        {"file_size", header.file_size},
        {"dataset", header.dataset},
        {"subset", header.subset},
        {"free_head", header.free_head},
        {"free_tail", header.free_tail},
        {"free_count", header.free_count},
        {"root_offset", header.root_offset},
        {"new_lru", header.new_lru},
        {"old_lru", header.old_lru},
        {"use_lru", header.use_lru},
        {"master_map_id", header.master_map_id},
        {"engine_version", header.engine_version},
        {"game_version", header.game_version},
    };
    std::string text = "header:\n";
    for (const auto& [name, value] : numbers) {
        text += line(name, number(value), "  ");
    }
    const std::string_view version{reinterpret_cast<const char*>(header.version_string.data()),
                                   header.version_string.size()};
    text += line("version_string", base::debug_quoted(version), "  ");
    text += line("version_minor", number(header.version_minor), "  ");
    return text;
}

std::string_view kind_name(dat::DatKind kind) {
    switch (kind) {
        case dat::DatKind::Portal:
            return "Portal";
        case dat::DatKind::Cell:
            return "Cell";
        case dat::DatKind::Local:
            return "Local";
        case dat::DatKind::Unknown:
            break;
    }
    return "Unknown";
}

// Most common first; equal counts by name.
std::string type_count_lines(const std::vector<ListedFile>& files) {
    std::map<std::string_view, std::size_t> counts;
    for (const ListedFile& file : files) {
        ++counts[dat::file_type_name(file.type)];
    }
    std::vector<std::pair<std::string_view, std::size_t>> sorted{counts.begin(), counts.end()};
    std::ranges::stable_sort(sorted, std::ranges::greater{},
                             [](const auto& c) { return c.second; });
    std::string text = "files by type:\n";
    for (const auto& [name, count] : sorted) {
        text += line(name, std::to_string(count), "  ");
    }
    return text;
}

}  // namespace

int run_info(const InfoCommand& command) {
    const auto database = open_archive(command.archive);
    if (!database) {
        return 1;
    }
    const std::vector<ListedFile> files = files_in_id_order(*database);
    const auto compressed = std::ranges::count_if(
        files, [](const ListedFile& file) { return file.entry.is_compressed(); });
    StandardOutput out;
    out.write(header_lines(database->header()));
    out.write(line("kind", kind_name(database->dat_kind())));
    out.write(line("block size", std::to_string(database->header().block_size)));
    out.write(line("files", std::to_string(files.size())));
    out.write(line("compressed", std::to_string(compressed)));
    out.write(line("directory nodes", std::to_string(database->directory_shape().nodes)));
    out.write(line("directory depth", std::to_string(database->directory_shape().depth)));
    out.write(type_count_lines(files));
    return out.finish(0);
}

}  // namespace tarnwick_tool
