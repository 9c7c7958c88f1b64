#pragma once

// What a mounted archive shows: the folders and files `extract` would write
// (`<TypeName>/<ID>.bin`), and with JSON each clothing table's document beside it
// (`Clothing/<ID>.json`). Built once when mounting and never changed, so that every lookup
// from FUSE's worker threads reads it without a lock.

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "archive.hpp"

namespace tarnwick_tool {

struct MountNode {
    enum class Kind { Folder, File, ClothingJson };
    Kind kind = Kind::Folder;
    std::string name;
    std::uint32_t id = 0;               // a file's archive id
    std::uint64_t size = 0;             // the bytes a read of the whole file gives
    std::int64_t mtime = 0;             // a file's entry timestamp; a folder's newest one inside it
    std::vector<std::size_t> children;  // a folder's, by ascending name
};

class MountTree {
  public:
    // The tree of `database`'s files. Sizes are the expanded sizes, read from each compressed
    // stream's prefix, without expanding; a clothing table's JSON document is made once to
    // know its size (0 when the table does not parse: reading it then fails).
    static MountTree build(const dat::DatDatabase& database, bool clothing_json);

    // The node at a path as FUSE gives it ("/", "/Clothing", "/Clothing/10000001.bin").
    const MountNode* find(std::string_view path) const;
    const MountNode& node(std::size_t index) const { return nodes_[index]; }
    std::size_t index_of(const MountNode& node) const {
        return static_cast<std::size_t>(&node - nodes_.data());
    }

  private:
    std::vector<MountNode> nodes_;  // the root first
    std::unordered_map<std::string, std::size_t> by_path_;
};

// A file's whole contents, or what was being done and why it failed, in one line: the expanded
// bytes, as many as the stream declares; the JSON document of a clothing table that parses whole.
std::expected<std::vector<std::uint8_t>, std::string> mount_node_contents(
    const dat::DatDatabase& database, const MountNode& node);

}  // namespace tarnwick_tool
