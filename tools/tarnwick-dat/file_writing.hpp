#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <span>
#include <string>

namespace tarnwick_tool {

// Writes `bytes` to `path` through a temporary file beside it (".<name>.part") and a rename, so
// that `path` never holds part of a file. On failure the temporary file is removed; the error is
// the reason with the path it concerns. A part left by a killed run is replaced by the next one.
// The file's modification time becomes `modified` (seconds since 1970), so that pack gives an
// extracted file its timestamp back.
std::expected<void, std::string> write_file_whole(const std::filesystem::path& path,
                                                  std::span<const std::uint8_t> bytes,
                                                  std::uint32_t modified);

}  // namespace tarnwick_tool
