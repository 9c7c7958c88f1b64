#include "id_list.hpp"

#include <algorithm>

#include "ids.hpp"

namespace tarnwick_tool {

std::expected<IdList, std::string> IdList::parse(std::string_view text) {
    IdList list;
    while (true) {
        const std::size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        const std::size_t dash = item.find('-');
        const auto first = parse_id(item.substr(0, dash));
        const auto last = dash == std::string_view::npos ? first : parse_id(item.substr(dash + 1));
        if (!first || !last) {
            return std::unexpected{single_quoted(item) +
                                   " is neither an id nor a range of ids (FIRST-LAST)"};
        }
        if (*last < *first) {
            return std::unexpected{"the range " + single_quoted(item) + " runs backwards"};
        }
        list.ranges_.emplace_back(*first, *last);
        if (comma == std::string_view::npos) {
            return list;
        }
        text.remove_prefix(comma + 1);
    }
}

std::string single_quoted(std::string_view text) {
    // Appended: g++ 12 warns falsely about an overlapping copy in "'" + text.
    std::string quoted = "'";
    quoted += text;
    quoted += "'";
    return quoted;
}

bool IdList::contains(std::uint32_t id) const {
    return std::ranges::any_of(
        ranges_, [id](const auto& range) { return range.first <= id && id <= range.second; });
}

std::vector<ListedFile> selected_files(const dat::DatDatabase& database,
                                       const FileSelection& selection) {
    std::vector<ListedFile> files;
    for (const dat::DatFileEntry& entry : database.entries(selection.type)) {
        if (!selection.ids || selection.ids->contains(entry.id)) {
            files.push_back({entry, database.type_of(entry.id)});
        }
    }
    return files;
}

}  // namespace tarnwick_tool
