#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>

namespace tarnwick_tool {

// Checks the archive at `path` as `verify` does, writing nothing: each problem goes to `problem`
// as the object `verify --format json` writes for it. Gives the number of problems.
std::size_t verify_archive(const std::filesystem::path& path,
                           const std::function<void(const nlohmann::json&)>& problem);

}  // namespace tarnwick_tool
