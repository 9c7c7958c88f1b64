#include <unistd.h>

#include "options.hpp"
#include "output.hpp"
#include "report.hpp"
#include "subcommand.hpp"

namespace tarnwick_tool {

namespace {

struct CatCommand {
    std::filesystem::path archive;
    std::uint32_t id = 0;
    bool force = false;  // write to a terminal all the same
};

int run_cat(const CatCommand& command) {
    // Refused before the archive is read, like any other wrong use of the command line.
    if (!command.force && is_terminal(STDOUT_FILENO)) {
        report_error("not writing a file's bytes to a terminal (redirect the output, or --force)");
        return 2;
    }
    const auto opened = open_archive_file(command.archive, command.id);
    if (!opened) {
        return 1;
    }
    StandardOutput out;
    out.write(opened->bytes);
    return out.finish(0);
}

void declare_cat(CLI::App& app, CatCommand& command) {
    add_id(app, command.id);
    app.add_flag("--force", command.force, "Write to a terminal all the same");
}

}  // namespace

Subcommand cat_subcommand() {
    return archive_subcommand<CatCommand>(
        "cat",
        "A file's bytes, expanded when stored compressed, on standard output (status 2 when "
        "that is a terminal)",
        "cat portal.dat 0x10000001 > 10000001.bin", declare_cat, run_cat);
}

}  // namespace tarnwick_tool
