#pragma once

#include <filesystem>

#include "commands.hpp"
#include "id_list.hpp"

namespace tarnwick_tool {

// What changed from one archive to another, file by file on expanded bytes. Status as diff and
// cmp give it: 0 when nothing is listed, 1 when something is, 2 on trouble (an archive that
// does not open, a file that cannot be read, a failed write).
struct DiffCommand {
    std::filesystem::path old_archive;
    std::filesystem::path new_archive;
    FileSelection selection;
    Format format = Format::Text;
};
int run_diff(const DiffCommand& command);

}  // namespace tarnwick_tool
