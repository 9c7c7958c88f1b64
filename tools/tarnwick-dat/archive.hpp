#pragma once

// The one place where the tool names the archive and base libraries' headers, so that a change of
// their paths is a change here; and the tool's ways of opening an archive and reading its files.

#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tarnwick_base/hex.hpp"
#include "tarnwick_base/little_endian.hpp"
#include "tarnwick_base/text.hpp"
#include "tarnwick_dat/error.hpp"
#include "tarnwick_dat/file_type.hpp"
#include "tarnwick_dat/file_type/clothing.hpp"
#include "tarnwick_dat/io_error.hpp"
#include "tarnwick_dat/layout.hpp"
#include "tarnwick_dat/lib.hpp"
#include "tarnwick_dat/utils.hpp"
#include "tarnwick_dat/utils/lrs_format.hpp"
#include "tarnwick_dat/utils/read_window.hpp"

namespace tarnwick_tool {

namespace dat = tarnwick_dat;
namespace base = tarnwick_base;

// A directory entry with the type its identifier has in this archive (`DatDatabase::type_of`).
struct ListedFile {
    dat::DatFileEntry entry;
    dat::DatFileType type;
};

// What was being done when something failed, and why, in words for the error line.
struct Failure {
    std::string doing;
    std::string why;
};

// Why opening the archive failed: reading its header or its directory, and for a read that ran
// off the end, where (the root node, the archive's length).
Failure open_failure(const std::filesystem::path& path, const dat::DatError& error);

// Opens the archive read-only; on failure the error is reported on standard error.
std::optional<dat::DatDatabase> open_archive(const std::filesystem::path& path);

// The header alone, for the subcommands that show or check it when the directory cannot be read,
// and the file's length (0 when unknown).
struct HeaderRead {
    std::expected<dat::DatHeader, dat::DatError> header;
    std::uint64_t length = 0;
};
HeaderRead read_header_only(const std::filesystem::path& path);

// Why an expansion that gave `expanded` bytes of the `declared` is short, or nothing when it is
// whole.
std::optional<std::string> short_expansion_text(std::size_t expanded, std::uint32_t declared);

// Why reading file `id`'s chain failed: the error's message and, for a read that ran off the
// end of the archive, where its chain lies.
std::string read_failure_text(const dat::DatDatabase& database, std::uint32_t id,
                              const dat::DatError& error);

// The expansion of a compressed file's stored bytes, or why it is shorter than its stream
// declares.
std::expected<std::vector<std::uint8_t>, std::string> expand_stored(
    std::span<const std::uint8_t> stored);
// Whether `expand_stored` of `stored` succeeds, found without expanding.
bool expands_whole(std::span<const std::uint8_t> stored);

// The bytes of file `id`, expanded when stored compressed. An expansion that gives fewer bytes
// than its stream declares is a failure, never a short file.
std::expected<std::vector<std::uint8_t>, Failure> read_whole_file(const dat::DatDatabase& database,
                                                                  std::uint32_t id);
// The same through the caller's read-ahead window, for files read one after another.
std::expected<std::vector<std::uint8_t>, Failure> read_whole_file(const dat::DatDatabase& database,
                                                                  std::uint32_t id,
                                                                  dat::ReadWindow& window);

}  // namespace tarnwick_tool
