#include <algorithm>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "json_lines.hpp"
#include "options.hpp"
#include "output.hpp"
#include "report.hpp"
#include "subcommand.hpp"

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

using HeaderNumbers = std::vector<std::pair<std::string_view, std::uint32_t>>;

HeaderNumbers header_numbers(const dat::DatHeader& header) {
    return {
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
        {"version_minor", header.version_minor},
    };
}

std::string header_lines(const dat::DatHeader& header) {
    std::string text = "header:\n";
    for (const auto& [name, value] : header_numbers(header)) {
        if (name == "version_minor") {
            const std::string_view version{
                reinterpret_cast<const char*>(header.version_string.data()),
                header.version_string.size()};
            text += line("version_string", base::debug_quoted(version), "  ");
        }
        text += line(name, number(value), "  ");
    }
    return text;
}

nlohmann::json header_json(const dat::DatHeader& header) {
    nlohmann::json object = nlohmann::json::object();
    for (const auto& [name, value] : header_numbers(header)) {
        object[std::string{name}] = value;
    }
    std::string version;
    for (const std::uint8_t byte : header.version_string) {
        version += base::hex_upper(byte, 2);
    }
    object["version_string"] = version;  // raw bytes, in hexadecimal
    return object;
}

// Most common first; equal counts by name.
std::vector<std::pair<std::string_view, std::size_t>> type_counts(
    const dat::DatDatabase& database, const std::vector<dat::DatFileEntry>& files) {
    std::map<std::string_view, std::size_t> counts;
    for (const dat::DatFileEntry& entry : files) {
        ++counts[dat::file_type_name(database.type_of(entry.id))];
    }
    std::vector<std::pair<std::string_view, std::size_t>> sorted{counts.begin(), counts.end()};
    std::ranges::stable_sort(sorted, std::ranges::greater{},
                             [](const auto& c) { return c.second; });
    return sorted;
}

struct InfoCommand {
    std::filesystem::path archive;
    Format format = Format::Text;
};

// What is known of an archive whose directory could not be read: its header when that was read.
int run_info_of_failure(const InfoCommand& command, const dat::DatError& error) {
    const HeaderRead header = read_header_only(command.archive);
    const Failure failure = open_failure(command.archive, error);
    StandardOutput out;
    if (command.format == Format::Json) {
        nlohmann::json object = {{"error", {{"doing", failure.doing}, {"message", failure.why}}}};
        object["header"] = header.header ? header_json(*header.header) : nullptr;
        out.write(json_block(object));
    } else if (header.header) {
        out.write(header_lines(*header.header));
        out.write(line("kind", dat::dat_kind_name(header.header->dat_kind())));
    }
    report_failure(command.archive, failure.doing, failure.why);
    return out.finish(1);
}

int run_info(const InfoCommand& command) {
    auto database = dat::DatDatabase::open(command.archive);
    if (!database) {
        return run_info_of_failure(command, database.error());
    }
    const std::vector<dat::DatFileEntry> files = database->entries();
    const auto compressed = std::ranges::count_if(files, &dat::DatFileEntry::is_compressed);
    const dat::DirectoryShape& shape = database->directory_shape();
    StandardOutput out;
    if (command.format == Format::Json) {
        nlohmann::json by_type = nlohmann::json::object();
        for (const auto& [name, count] : type_counts(*database, files)) {
            by_type[std::string{name}] = count;
        }
        out.write(json_block({{"header", header_json(database->header())},
                              {"kind", dat::dat_kind_name(database->dat_kind())},
                              {"files", files.size()},
                              {"compressed", compressed},
                              {"directory", {{"nodes", shape.nodes}, {"depth", shape.depth}}},
                              {"files_by_type", by_type}}));
        return out.finish(0);
    }
    out.write(header_lines(database->header()));
    out.write(line("kind", dat::dat_kind_name(database->dat_kind())));
    out.write(line("block size", std::to_string(database->header().block_size)));
    out.write(line("files", std::to_string(files.size())));
    out.write(line("compressed", std::to_string(compressed)));
    out.write(line("directory nodes", std::to_string(shape.nodes)));
    out.write(line("directory depth", std::to_string(shape.depth)));
    out.write("files by type:\n");
    for (const auto& [name, count] : type_counts(*database, files)) {
        out.write(line(name, std::to_string(count), "  "));
    }
    return out.finish(0);
}

void declare_info(CLI::App& app, InfoCommand& command) {
    add_format(app, command.format, "json");
}

}  // namespace

Subcommand info_subcommand() {
    return archive_subcommand<InfoCommand>(
        "info", "Header fields, archive kind, file counts by type, directory shape",
        "info portal.dat --format json", declare_info, run_info);
}

}  // namespace tarnwick_tool
