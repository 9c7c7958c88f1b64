#include "tarnwick_dat/file_type/clothing_tally.hpp"

#include <gtest/gtest.h>

#include "tarnwick_dat/file_type/clothing.hpp"

namespace tarnwick_dat {
namespace {

CloObjectEffect part_with_swaps(std::uint32_t swaps) {
    CloObjectEffect part;
    part.clo_texture_effects.resize(swaps);
    return part;
}

TEST(ClothingTally, CountsEveryQuantityAcrossTables) {
    ClothingTable first;
    first.clothing_base_effects[1].clo_object_effects = {part_with_swaps(2), part_with_swaps(0)};
    first.clothing_base_effects[2] = {};  // no parts, still one base effect
    first.clothing_sub_pal_effects[1].clo_sub_palettes.resize(3);
    first.clothing_sub_pal_effects[1].clo_sub_palettes[0].ranges.resize(5);  // not counted
    ClothingTable second;
    second.clothing_base_effects[1].clo_object_effects = {part_with_swaps(4)};
    second.clothing_sub_pal_effects[8] = {};
    second.clothing_sub_pal_effects[9].clo_sub_palettes.resize(1);

    ClothingTally tally;
    tally.add(first);
    ClothingTally elsewhere;  // gathered apart, then added
    elsewhere.add(second);
    tally.add(elsewhere);
    EXPECT_EQ(tally.base_effects, 3u);
    EXPECT_EQ(tally.sub_pal_effects, 3u);
    EXPECT_EQ(tally.object_effects, 3u);
    EXPECT_EQ(tally.texture_swaps, 6u);
    EXPECT_EQ(tally.sub_palettes, 4u);
}

}  // namespace
}  // namespace tarnwick_dat
