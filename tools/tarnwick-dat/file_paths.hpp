#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "archive.hpp"

namespace tarnwick_tool {

// The name extract gives a file: "<ID>.bin", the id as eight upper-case hexadecimal digits.
std::string extracted_file_name(std::uint32_t id);
// Where extract puts a file, relative to its folder: "<TypeName>/<ID>.bin". Manifests name files
// the same way.
std::filesystem::path extracted_path(const ListedFile& file);

// The id a file name of that form names: eight hexadecimal digits of either case and ".bin".
std::optional<std::uint32_t> id_of_file_name(std::string_view name);

}  // namespace tarnwick_tool
