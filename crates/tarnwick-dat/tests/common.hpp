#pragma once

#include <filesystem>
#include <optional>

namespace common {

// Where the portal archive lies on this machine, as the archive library finds it.
std::optional<std::filesystem::path> get_portal_dat_path();

}  // namespace common
