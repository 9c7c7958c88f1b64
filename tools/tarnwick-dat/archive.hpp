#pragma once

// The one place where the tool names the archive and base libraries' headers, so that a change of
// their paths is a change here.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

#include "tarnwick_base/hex.hpp"
#include "tarnwick_base/text.hpp"
#include "tarnwick_dat/error.hpp"
#include "tarnwick_dat/file_type.hpp"
#include "tarnwick_dat/file_type/clothing.hpp"
#include "tarnwick_dat/io_error.hpp"
#include "tarnwick_dat/lib.hpp"
#include "tarnwick_dat/utils.hpp"

namespace tarnwick_tool {

namespace dat = tarnwick_dat;
namespace base = tarnwick_base;

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
