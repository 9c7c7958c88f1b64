#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <map>
#include <string>

#include "id_list.hpp"
#include "sha256.hpp"

namespace tarnwick_tool {

// Writes one line per selected file in ascending id order, "<sha256>  <TypeName>/<ID>.bin", the
// digest of the expanded bytes and the path extract writes, so that `sha256sum -c` run in an
// extraction folder checks the files. Status 1 when a file could not be read (left out, named
// on standard error).
struct ManifestCommand {
    std::filesystem::path archive;
    FileSelection selection;
};
int run_manifest(const ManifestCommand& command);

// A manifest's digests by file id.
using Manifest = std::map<std::uint32_t, Sha256>;

// Reads a manifest as `manifest` writes it (sha256sum's "*" before a path is taken too); the
// error names the file and the line that is not such a line, or names a file named before.
std::expected<Manifest, std::string> read_manifest(const std::filesystem::path& path);

}  // namespace tarnwick_tool
