#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <map>
#include <string>

#include "sha256.hpp"

namespace tarnwick_tool {

// A manifest's digests by file id.
using Manifest = std::map<std::uint32_t, Sha256>;

// Reads a manifest as `manifest` writes it (sha256sum's "*" before a path is taken too); the
// error names the file and the line that is not such a line, or names a file named before.
std::expected<Manifest, std::string> read_manifest(const std::filesystem::path& path);

}  // namespace tarnwick_tool
