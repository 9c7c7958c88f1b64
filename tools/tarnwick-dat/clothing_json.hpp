#pragma once

#include <nlohmann/json.hpp>

#include "archive.hpp"

namespace tarnwick_tool {

// A clothing table as JSON: fields by the records' own names, ids and keys as "0x" and eight
// upper-case digits, maps by key, lists in stored order. Count fields are the lists' lengths
// and are not repeated.
nlohmann::json clothing_json(const dat::ClothingTable& table);

}  // namespace tarnwick_tool
