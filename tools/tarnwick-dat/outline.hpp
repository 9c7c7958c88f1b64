#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace tarnwick_tool {

// A JSON value as indented "name: value" lines, list elements marked "- ", for reading.
// Strings appear without quotes; empty lists and maps as [] and {}.
std::string outline(const nlohmann::json& value);

}  // namespace tarnwick_tool
