#include "tarnwick_dat/utils/portal_dat_path.hpp"

#include <cstdlib>
#include <string_view>
#include <system_error>

#include "tarnwick_base/text.hpp"

namespace tarnwick_dat {
namespace {

bool path_exists(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::exists(path, error) && !error;
}

}  // namespace

std::filesystem::path default_portal_dat_path() {
    return std::filesystem::path{TARNWICK_DAT_SOURCE_DIR} / "../../" / "dats/portal.dat";
}

std::optional<std::filesystem::path> get_portal_dat_path(
    const std::filesystem::path& default_path) {
    if (const char* value = std::getenv("TARNWICK_PORTAL_DAT")) {
        const std::string_view text{value};
        if (tarnwick_base::utf8_lossy(text) == text && path_exists(text)) {
            return std::filesystem::path{text};
        }
    }
    if (path_exists(default_path)) {
        return default_path;
    }
    return std::nullopt;
}

std::optional<std::filesystem::path> get_portal_dat_path() {
    return get_portal_dat_path(default_portal_dat_path());
}

}  // namespace tarnwick_dat
