#include <unistd.h>

#include "options.hpp"
#include "output.hpp"
#include "report.hpp"
#include "subcommand.hpp"

namespace tarnwick_tool {

namespace {

struct CatCommand {
    std::filesystem::path archive;
    std::vector<std::uint32_t> ids;  // in the order given
    FileSelection selection;         // then these, in ascending id order
    bool force = false;              // write to a terminal all the same
};

// The ids to write: those named, then the selected ones, when the archive holds every one
// named; otherwise the first it lacks is reported.
std::optional<std::vector<std::uint32_t>> ids_to_write(const CatCommand& command,
                                                       const dat::DatDatabase& database) {
    for (std::uint32_t id : command.ids) {
        if (!database.files().contains(id)) {
            report_failure(command.archive, "",
                           dat::DatError{dat::DatError::NotFound{id}}.message());
            return std::nullopt;
        }
    }
    std::vector<std::uint32_t> ids = command.ids;
    if (command.selection.type || command.selection.ids) {
        for (const ListedFile& file : selected_files(database, command.selection)) {
            ids.push_back(file.entry.id);
        }
    }
    return ids;
}

int run_cat(const CatCommand& command) {
    // Refused before the archive is read, like any other wrong use of the command line.
    if (command.ids.empty() && !command.selection.type && !command.selection.ids) {
        report_error("cat: name the files, by ID or with --id or --type");
        return 2;
    }
    if (!command.force && is_terminal(STDOUT_FILENO)) {
        report_error("not writing a file's bytes to a terminal (redirect the output, or --force)");
        return 2;
    }
    const auto database = open_archive(command.archive);
    if (!database) {
        return 1;
    }
    const auto ids = ids_to_write(command, *database);
    if (!ids) {
        return 1;
    }
    StandardOutput out;
    for (std::uint32_t id : *ids) {
        auto bytes = read_whole_file(*database, id);
        if (!bytes) {
            report_failure(command.archive, bytes.error().doing, bytes.error().why);
            return out.finish(1);
        }
        out.write(*bytes);
    }
    return out.finish(0);
}

void declare_cat(CLI::App& app, CatCommand& command) {
    add_ids(app, "ID", command.ids,
            "File ids in hexadecimal, written in this order: 0x10000001, 10000001 and "
            "0x10000001 in lower case are one id");
    add_selection(app, command.selection);
    app.add_flag("--force", command.force, "Write to a terminal all the same");
}

}  // namespace

Subcommand cat_subcommand() {
    return archive_subcommand<CatCommand>(
        "cat",
        "Files' bytes, expanded when stored compressed, one after another on standard output "
        "(status 2 when that is a terminal)",
        "cat portal.dat 0x10000001 > 10000001.bin", declare_cat, run_cat);
}

}  // namespace tarnwick_tool
