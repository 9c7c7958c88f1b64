#include "tarnwick_dat/file_type/clothing_tally.hpp"

#include <gtest/gtest.h>

#include "tarnwick_dat/file_type/clothing_writer.hpp"

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
    tally.add(second);
    EXPECT_EQ(tally.base_effects, 3u);
    EXPECT_EQ(tally.sub_pal_effects, 3u);
    EXPECT_EQ(tally.object_effects, 3u);
    EXPECT_EQ(tally.texture_swaps, 6u);
    EXPECT_EQ(tally.sub_palettes, 4u);
}

TEST(ClothingTally, OverwrittenEntryCountsNowhere) {
    ClothingWriter writer;
    writer.u32(0x10000001);
    const std::vector<std::pair<std::uint32_t, ClothingBaseEffect>> entries = {
        {5, ClothingBaseEffect{.clo_object_effects = {part_with_swaps(3), part_with_swaps(1)}}},
        {5, ClothingBaseEffect{.clo_object_effects = {part_with_swaps(1)}}},
    };
    writer.packed_table(entries);
    writer.packed_table(PackableHashTable<CloSubPalEffect>{});
    const auto bytes = std::move(writer).finish().value();
    ByteReader reader{bytes};
    auto table = ClothingTable::read(reader, Endian::Little);
    ASSERT_TRUE(table.has_value()) << table.error().display();

    ClothingTally tally;
    tally.add(*table);
    EXPECT_EQ(tally.base_effects, 1u);
    EXPECT_EQ(tally.object_effects, 1u);
    EXPECT_EQ(tally.texture_swaps, 1u);
}

}  // namespace
}  // namespace tarnwick_dat
