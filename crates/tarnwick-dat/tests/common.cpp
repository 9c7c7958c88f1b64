#include "common.hpp"

#include "tarnwick_dat/utils.hpp"

namespace common {
namespace {

// The build-time default location: the library's, unless this build of the program names another
// (the tests' build does, so that its case of no archive never meets a real one).
std::filesystem::path default_location() {
#ifdef CLOTHING_PARITY_DEFAULT_PORTAL_DAT
    return CLOTHING_PARITY_DEFAULT_PORTAL_DAT;
#else
    return tarnwick_dat::default_portal_dat_path();
#endif
}

}  // namespace

std::optional<std::filesystem::path> get_portal_dat_path() {
    return tarnwick_dat::get_portal_dat_path(default_location());
}

}  // namespace common
