#include "mount_tree.hpp"

#include <algorithm>
#include <map>

#include "clothing_file.hpp"
#include "clothing_json.hpp"
#include "ids.hpp"
#include "json_lines.hpp"

namespace tarnwick_tool {

namespace {

// A stream whose declared size cannot be read keeps the stored size; reading the file then
// reports why.
std::uint64_t expanded_size(const dat::DatDatabase& database, const dat::DatFileEntry& entry) {
    return database.expanded_size(entry.id).value_or(entry.size);
}

MountNode file_node(MountNode::Kind kind, const dat::DatFileEntry& entry) {
    MountNode node;
    node.kind = kind;
    node.id = entry.id;
    node.mtime = static_cast<std::int64_t>(entry.timestamp);
    return node;
}

}  // namespace

MountTree MountTree::build(const dat::DatDatabase& database, bool clothing_json) {
    MountTree tree;
    tree.nodes_.emplace_back();
    // Folders by type name, each with its files by name: both in the order a listing shows.
    std::map<std::string, std::map<std::string, MountNode>> folders;
    for (const dat::DatFileEntry& entry : database.entries()) {
        const dat::DatFileType type = database.type_of(entry.id);
        const std::string id_digits = base::hex_upper(entry.id, 8);
        auto& folder = folders[std::string{dat::file_type_name(type)}];
        MountNode& bin = folder[id_digits + ".bin"] = file_node(MountNode::Kind::File, entry);
        bin.size = expanded_size(database, entry);
        if (clothing_json && type == dat::DatFileType::Clothing) {
            MountNode json = file_node(MountNode::Kind::ClothingJson, entry);
            const auto document = mount_node_contents(database, json);
            json.size = document ? document->size() : 0;
            folder[id_digits + ".json"] = std::move(json);
        }
    }
    for (auto& [type_name, files] : folders) {
        const std::size_t folder_index = tree.nodes_.size();
        tree.nodes_[0].children.push_back(folder_index);
        tree.nodes_.emplace_back().name = type_name;
        for (auto& [name, file] : files) {
            tree.nodes_[folder_index].children.push_back(tree.nodes_.size());
            tree.nodes_[folder_index].mtime = std::max(tree.nodes_[folder_index].mtime, file.mtime);
            file.name = name;
            tree.nodes_.push_back(std::move(file));
        }
        tree.nodes_[0].mtime = std::max(tree.nodes_[0].mtime, tree.nodes_[folder_index].mtime);
    }
    tree.by_path_.reserve(tree.nodes_.size());
    tree.by_path_["/"] = 0;
    for (const std::size_t folder : tree.nodes_[0].children) {
        const std::string folder_path = "/" + tree.nodes_[folder].name;
        tree.by_path_[folder_path] = folder;
        for (const std::size_t file : tree.nodes_[folder].children) {
            tree.by_path_[folder_path + "/" + tree.nodes_[file].name] = file;
        }
    }
    return tree;
}

const MountNode* MountTree::find(std::string_view path) const {
    const auto found = by_path_.find(std::string{path});
    return found == by_path_.end() ? nullptr : &nodes_[found->second];
}

std::expected<std::vector<std::uint8_t>, std::string> mount_node_contents(
    const dat::DatDatabase& database, const MountNode& node) {
    auto bytes = read_whole_file(database, node.id);
    if (!bytes) {
        return std::unexpected{bytes.error().doing + ": " + bytes.error().why};
    }
    if (node.kind == MountNode::Kind::File) {
        return std::move(*bytes);
    }
    const ClothingReading reading = read_clothing_file(*bytes, node.id);
    if (reading.problem) {
        return std::unexpected{"parsing clothing table " + format_id(node.id) + ": " +
                               reading.problem->text};
    }
    const std::string document = json_block(clothing_json(*reading.table));
    return std::vector<std::uint8_t>{document.begin(), document.end()};
}

}  // namespace tarnwick_tool
