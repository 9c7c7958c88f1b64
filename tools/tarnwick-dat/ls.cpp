#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "commands.hpp"
#include "ids.hpp"
#include "json_lines.hpp"
#include "output.hpp"

namespace tarnwick_tool {

namespace {

// Fixed columns, so that the lines can be read by eye and split on blanks by scripts; a file
// stored plainly shows "-" where a compressed one shows "compressed".
std::string text_line(const ListedFile& file) {
    const dat::DatFileEntry& entry = file.entry;
    const std::string type{dat::file_type_name(file.type)};
    char text[160];
    std::snprintf(text, sizeof text, "%s  %-19s %10u  %-10s  %s  %u\n", format_id(entry.id).c_str(),
                  type.c_str(), entry.size, entry.is_compressed() ? "compressed" : "-",
                  iso_timestamp(entry.timestamp).c_str(), entry.version);
    return text;
}

nlohmann::json json_object(const ListedFile& file) {
    const dat::DatFileEntry& entry = file.entry;
    return {
        {"id", format_id(entry.id)},    {"type", dat::file_type_name(file.type)},
        {"size", entry.size},           {"compressed", entry.is_compressed()},
        {"bit_flags", entry.bit_flags}, {"timestamp", iso_timestamp(entry.timestamp)},
        {"version", entry.version},
    };
}

}  // namespace

int run_ls(const LsCommand& command) {
    const auto database = open_archive(command.archive);
    if (!database) {
        return 1;
    }
    StandardOutput out;
    for (const ListedFile& file : files_in_id_order(*database, command.type)) {
        out.write(command.format == Format::Json ? json_line(json_object(file)) : text_line(file));
        if (out.failed()) {
            break;
        }
    }
    return out.finish(0);
}

}  // namespace tarnwick_tool
