#pragma once

#include <cstdint>

#include "tarnwick_dat/file_type/clothing.hpp"

namespace tarnwick_dat {

// Running totals over parsed clothing tables. The records of an entry overwritten by a later
// one with the same key were never kept, so they count nowhere; ranges are not counted.
struct ClothingTally {
    std::uint64_t base_effects = 0;     // entries of the base effect tables
    std::uint64_t sub_pal_effects = 0;  // entries of the sub-palette effect tables
    std::uint64_t object_effects = 0;   // object effects of all base effects
    std::uint64_t texture_swaps = 0;    // texture effects of all those object effects
    std::uint64_t sub_palettes = 0;     // sub-palettes of all sub-palette effects

    void add(const ClothingTable& table);
    // Adds totals gathered elsewhere (another thread's share of the tables).
    void add(const ClothingTally& other);
};

}  // namespace tarnwick_dat
