#pragma once

#include <filesystem>
#include <optional>

#include "tarnwick_base/export.hpp"

namespace tarnwick_dat {

// The retail portal archive: TARNWICK_PORTAL_DAT if it names an existing path, else the
// build-time default if it exists, else nothing.
TARNWICK_DAT_API std::optional<std::filesystem::path> get_portal_dat_path();
// The same search with the default location given, so the search can be exercised anywhere.
TARNWICK_DAT_API std::optional<std::filesystem::path> get_portal_dat_path(
    const std::filesystem::path& default_path);
// `<library source directory>/../../dats/portal.dat`, joined but not normalised.
TARNWICK_DAT_API std::filesystem::path default_portal_dat_path();

}  // namespace tarnwick_dat
