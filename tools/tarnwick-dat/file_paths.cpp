#include "file_paths.hpp"

#include <string>

#include "ids.hpp"

namespace tarnwick_tool {

std::string extracted_file_name(std::uint32_t id) {
    return base::hex_upper(id, 8) + ".bin";
}

std::filesystem::path extracted_path(const ListedFile& file) {
    return std::filesystem::path{std::string{dat::file_type_name(file.type)}} /
           extracted_file_name(file.entry.id);
}

std::optional<std::uint32_t> id_of_file_name(std::string_view name) {
    constexpr std::string_view suffix = ".bin";
    constexpr std::size_t digits = 8;
    if (name.size() != digits + suffix.size() || !name.ends_with(suffix) ||
        name.starts_with("0x") || name.starts_with("0X")) {
        return std::nullopt;
    }
    return parse_id(name.substr(0, digits));
}

}  // namespace tarnwick_tool
