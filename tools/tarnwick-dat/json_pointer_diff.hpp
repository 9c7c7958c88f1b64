#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace tarnwick_tool {

// The JSON Pointers (RFC 6901) of where two documents differ, in document order (object members
// by ascending key, as the tool prints them; array elements by index): every leaf value that
// differs, and every member or element present on one side only, without what lies below it.
// A value whose kind differs (an object on one side, a number on the other) counts as a leaf.
std::vector<std::string> json_pointer_diff(const nlohmann::json& old_value,
                                           const nlohmann::json& new_value);

}  // namespace tarnwick_tool
