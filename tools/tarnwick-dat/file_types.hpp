#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "archive.hpp"

namespace tarnwick_tool {

// The file type of that name as the library names it ("Clothing"), in any case.
std::optional<dat::DatFileType> file_type_by_name(std::string_view name);

// Every file type name, in declaration order, separated by ", ".
std::string file_type_names();

}  // namespace tarnwick_tool
