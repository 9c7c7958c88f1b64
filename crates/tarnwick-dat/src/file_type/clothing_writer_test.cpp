#include "tarnwick_dat/file_type/clothing_writer.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace tarnwick_dat {
namespace {

using Bytes = std::vector<std::uint8_t>;

CloObjectEffect swapped_part() {
    CloObjectEffect part;
    part.index = 9;
    part.model_id = 0x01004AA7;
    part.clo_texture_effects = {{.old_texture = 0x050003D5, .new_texture = 0x0500025F}};
    return part;
}

TEST(ClothingWriter, BaseEffectTableHasItsExactStoredForm) {
    ClothingTable table;
    table.id = 0x10000001;
    table.clothing_base_effects[0x0200004E].clo_object_effects = {swapped_part()};
    const Bytes expected = {
        0x01, 0x00, 0x00, 0x10,                          // id
        0x01, 0x00, 0x40, 0x00,                          // count, bucket size
        0x4E, 0x00, 0x00, 0x02,                          // key
        0x01, 0x00, 0x00, 0x00, 0x09, 0x00, 0x00, 0x00,  // one object effect, index 9
        0xA7, 0x4A, 0x00, 0x01, 0x01, 0x00, 0x00, 0x00,  // model, one texture effect
        0xD5, 0x03, 0x00, 0x05, 0x5F, 0x02, 0x00, 0x05,  // old and new texture
        0x00, 0x00, 0x40, 0x00,                          // empty sub-palette effects
    };
    EXPECT_EQ(write_clothing_table(table, 0x40).value(), expected);
}

TEST(ClothingWriter, SubPaletteStoresItsSetAfterTheRanges) {
    const CloSubPalette palette{
        .ranges = {{.offset = 0x10, .num_colors = 0x08}, {.offset = 0x40, .num_colors = 0x18}},
        .palette_set = 0x0F00ABCD};
    ClothingWriter writer;
    writer.write(palette);
    const Bytes bytes = std::move(writer).finish().value();
    const Bytes expected = {0x02, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00,
                            0x40, 0x00, 0x00, 0x00, 0x18, 0x00, 0x00, 0x00, 0xCD, 0xAB, 0x00, 0x0F};
    EXPECT_EQ(bytes, expected);
}

TEST(ClothingWriter, EmptyBaseEffectIsFourBytes) {
    ClothingWriter writer;
    writer.write(ClothingBaseEffect{});
    EXPECT_EQ(std::move(writer).finish().value(), (Bytes{0, 0, 0, 0}));
}

TEST(ClothingWriter, SameTableGivesSameBytesWhateverTheInsertionOrder) {
    ClothingTable ascending;
    ClothingTable descending;
    for (std::uint32_t key = 1; key <= 50; ++key) {
        ascending.clothing_sub_pal_effects[key].icon = key;
        descending.clothing_sub_pal_effects[51 - key].icon = 51 - key;
    }
    const Bytes bytes = write_clothing_table(ascending).value();
    EXPECT_EQ(bytes, write_clothing_table(descending).value());
    // The first entry after id and table heads is the smallest key.
    EXPECT_EQ(bytes[12], 1u);
}

TEST(ClothingWriter, RepeatedKeysAreWrittenAsGiven) {
    ClothingWriter writer{7};
    writer.u32(0x10000009);
    const std::vector<std::pair<std::uint32_t, ClothingBaseEffect>> entries = {
        {4, ClothingBaseEffect{.clo_object_effects = {swapped_part()}}},
        {4, ClothingBaseEffect{}},
    };
    writer.packed_table(entries);
    writer.packed_table(PackableHashTable<CloSubPalEffect>{});
    const Bytes bytes = std::move(writer).finish().value();
    EXPECT_EQ(bytes[4], 2u);  // both entries counted
    EXPECT_EQ(bytes[6], 7u);  // the bucket size given
    // Both stored (read back, the later wins: the reader's repeated-key test): id, table head,
    // key and the effect of one part with one swap, key and the empty effect, empty table.
    EXPECT_EQ(bytes.size(), 4u + 4 + (4 + 4 + 20) + (4 + 4) + 4);
}

TEST(ClothingWriter, TableTooLargeForItsCountIsRefused) {
    ClothingTable table;
    for (std::uint32_t key = 0; key <= 0xFFFF; ++key) {
        table.clothing_base_effects[key] = {};
    }
    auto bytes = write_clothing_table(table);
    ASSERT_FALSE(bytes.has_value());
    EXPECT_TRUE(bytes.error().is<DatError::Other>());
    table.clothing_base_effects.erase(0);
    EXPECT_TRUE(write_clothing_table(table).has_value());
}

}  // namespace
}  // namespace tarnwick_dat
