#include "file_types.hpp"

#include <algorithm>
#include <cctype>

namespace tarnwick_tool {

namespace {

#define TARNWICK_TOOL_FILE_TYPE(name, value) dat::DatFileType::name,
constexpr dat::DatFileType all_file_types[] = {TARNWICK_PORTAL_FILE_TYPES(
    TARNWICK_TOOL_FILE_TYPE) TARNWICK_OTHER_FILE_TYPES(TARNWICK_TOOL_FILE_TYPE)};
#undef TARNWICK_TOOL_FILE_TYPE

bool same_ignoring_case(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

}  // namespace

std::optional<dat::DatFileType> file_type_by_name(std::string_view name) {
    for (dat::DatFileType type : all_file_types) {
        if (same_ignoring_case(dat::file_type_name(type), name)) {
            return type;
        }
    }
    return std::nullopt;
}

std::string file_type_names() {
    std::string names;
    for (dat::DatFileType type : all_file_types) {
        if (!names.empty()) {
            names += ", ";
        }
        names += dat::file_type_name(type);
    }
    return names;
}

}  // namespace tarnwick_tool
