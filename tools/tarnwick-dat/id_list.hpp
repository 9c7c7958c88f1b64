#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "archive.hpp"

namespace tarnwick_tool {

// Ids and inclusive ranges of ids, separated by commas: "0x10000001,0x10000005-0x100000FF".
class IdList {
  public:
    // The list, or why the text is not one (an empty item, an id that is not one, a range that
    // runs backwards).
    static std::expected<IdList, std::string> parse(std::string_view text);

    bool contains(std::uint32_t id) const;

  private:
    std::vector<std::pair<std::uint32_t, std::uint32_t>> ranges_;
};

// The text in single quotes, as messages show what they refuse.
std::string single_quoted(std::string_view text);

// Which files of an archive a subcommand works on: all, or those of one type, of listed ids,
// or both.
struct FileSelection {
    std::optional<dat::DatFileType> type;
    std::optional<IdList> ids;
};

// The selected files in ascending id order.
std::vector<ListedFile> selected_files(const dat::DatDatabase& database,
                                       const FileSelection& selection);

}  // namespace tarnwick_tool
