#include "common.hpp"

#include "tarnwick_dat/utils.hpp"

namespace common {

std::optional<std::filesystem::path> get_portal_dat_path() {
    return tarnwick_dat::get_portal_dat_path();
}

}  // namespace common
