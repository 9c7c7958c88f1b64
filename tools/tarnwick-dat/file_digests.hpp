#pragma once

#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <vector>

#include "archive.hpp"
#include "sha256.hpp"

namespace tarnwick_tool {

// A file's expanded length and SHA-256 digest.
struct FileDigest {
    std::uint64_t size = 0;
    Sha256 sha256{};
};

// The digest of every one of `files`, in their order, or why the file could not be read. The
// files are read in ascending order of their first block through one read-ahead window, so that
// the archive is read front to back once.
std::vector<std::expected<FileDigest, std::string>> file_digests(const dat::DatDatabase& database,
                                                                 std::span<const ListedFile> files);

}  // namespace tarnwick_tool
