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
std::expected<void, std::string> write_file_whole(const std::filesystem::path& path,
                                                  std::span<const std::uint8_t> bytes);

}  // namespace tarnwick_tool
