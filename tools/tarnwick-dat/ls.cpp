#include <cstdio>
#include <string>

#include "ids.hpp"
#include "json_lines.hpp"
#include "options.hpp"
#include "output.hpp"
#include "subcommand.hpp"

namespace tarnwick_tool {

namespace {

struct LsCommand {
    std::filesystem::path archive;
    FileSelection selection;
    Format format = Format::Text;
};

// The size a compressed file declares for itself (one small read, no expansion); none when its
// first block cannot be read.
std::optional<std::uint32_t> expanded_size(const dat::DatDatabase& database,
                                           const dat::DatFileEntry& entry) {
    auto size = database.expanded_size(entry.id);
    return size ? std::optional{*size} : std::nullopt;
}

// Fixed columns, so that the lines can be read by eye and split on blanks by scripts; a file
// stored plainly shows "-" where a compressed one shows "compressed", and an expanded size that
// cannot be read shows "?".
std::string text_line(const ListedFile& file, std::optional<std::uint32_t> expanded) {
    const dat::DatFileEntry& entry = file.entry;
    const std::string type{dat::file_type_name(file.type)};
    const std::string expanded_text = expanded ? std::to_string(*expanded) : "?";
    char text[192];
    std::snprintf(text, sizeof text, "%s  %-19s %10u %10s  %-10s  %s  %u\n",
                  format_id(entry.id).c_str(), type.c_str(), entry.size, expanded_text.c_str(),
                  entry.is_compressed() ? "compressed" : "-",
                  iso_timestamp(entry.timestamp).c_str(), entry.version);
    return text;
}

// json_line of the object with these fields, written straight.
std::string json_object_line(const ListedFile& file, std::optional<std::uint32_t> expanded) {
    const dat::DatFileEntry& entry = file.entry;
    JsonLineWriter line;
    line.field("bit_flags", std::uint64_t{entry.bit_flags})
        .field("compressed", entry.is_compressed());
    if (expanded) {
        line.field("expanded_size", std::uint64_t{*expanded});
    } else {
        line.field("expanded_size", nullptr);
    }
    line.field("id", format_id(entry.id))
        .field("size", std::uint64_t{entry.size})
        .field("timestamp", iso_timestamp(entry.timestamp))
        .field("type", dat::file_type_name(file.type))
        .field("version", std::uint64_t{entry.version});
    return std::move(line).finish();
}

int run_ls(const LsCommand& command) {
    const auto database = open_archive(command.archive);
    if (!database) {
        return 1;
    }
    StandardOutput out;
    for (const ListedFile& file : selected_files(*database, command.selection)) {
        const std::optional<std::uint32_t> expanded = expanded_size(*database, file.entry);
        out.write(command.format == Format::Json ? json_object_line(file, expanded)
                                                 : text_line(file, expanded));
        if (out.failed()) {
            break;
        }
    }
    return out.finish(0);
}

void declare_ls(CLI::App& app, LsCommand& command) {
    add_selection(app, command.selection);
    add_format(app, command.format, "json (one object per line)");
}

}  // namespace

Subcommand ls_subcommand() {
    return archive_subcommand<LsCommand>(
        "ls",
        "One line per file in id order: id, type, stored size, expanded size, flags, "
        "timestamp, version",
        "ls portal.dat --type clothing", declare_ls, run_ls);
}

}  // namespace tarnwick_tool
