#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace tarnwick_tool {

// The value on one line, keys in ascending order; bytes that are not UTF-8 become U+FFFD.
std::string json_line(const nlohmann::json& value);

// The value spread over indented lines, for reading.
std::string json_block(const nlohmann::json& value);

}  // namespace tarnwick_tool
