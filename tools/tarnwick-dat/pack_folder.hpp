#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace tarnwick_tool {

// The files of a folder laid out as extract writes it, by id: DIR/<Folder>/<ID>.bin.
using PackFolder = std::map<std::uint32_t, std::filesystem::path>;

// Lists the folder. Anything but a folder at the top, or anything but a regular file named
// <ID>.bin below (a link, a further folder, another name), and an id found twice, are refused:
// the error names every such path.
std::expected<PackFolder, std::vector<std::string>> list_pack_folder(
    const std::filesystem::path& directory);

// A file's bytes and its modification time in seconds since 1970.
struct FolderFile {
    std::vector<std::uint8_t> bytes;
    std::uint32_t modified = 0;
};
// Reads a listed file, refusing one that has become a link or no regular file, one too long
// for an archive, and one whose time an archive cannot hold (before 1970, after 2106).
std::expected<FolderFile, std::string> read_folder_file(const std::filesystem::path& path);

}  // namespace tarnwick_tool
