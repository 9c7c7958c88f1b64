#pragma once

// The one place where the tool names the archive library's headers, so that a change of their
// paths is a change here.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

#include "error.hpp"
#include "file_type.hpp"
#include "file_type/clothing.hpp"
#include "io_error.hpp"
#include "lib.hpp"
#include "text.hpp"
#include "utils.hpp"

namespace tarnwick_tool {

namespace dat = tarnwick_dat;

// A directory entry with the type its identifier has in this archive.
struct ListedFile {
    dat::DatFileEntry entry;
    dat::DatFileType type;
};

// The directory's entries in ascending id order; only those of `type` when one is given.
std::vector<ListedFile> files_in_id_order(const dat::DatDatabase& database,
                                          std::optional<dat::DatFileType> type = std::nullopt);

// Opens the archive read-only; on failure the error is reported on standard error.
std::optional<dat::DatDatabase> open_archive(const std::filesystem::path& path);

// An open archive and the bytes of one of its files, expanded when stored compressed.
struct OpenedFile {
    dat::DatDatabase database;
    std::vector<std::uint8_t> bytes;
};
// Opens the archive and reads the file `id`; on failure the error is reported.
std::optional<OpenedFile> open_archive_file(const std::filesystem::path& path, std::uint32_t id);

}  // namespace tarnwick_tool
