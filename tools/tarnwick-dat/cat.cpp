#include <unistd.h>

#include "commands.hpp"
#include "output.hpp"
#include "report.hpp"

namespace tarnwick_tool {

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

}  // namespace tarnwick_tool
