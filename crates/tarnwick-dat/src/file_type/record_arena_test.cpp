#include "tarnwick_dat/file_type/record_arena.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>

#include "tarnwick_dat/file_type/clothing.hpp"

namespace tarnwick_dat {
namespace {

// Lists built while a decoder's arena is in use live there, grow past its first block, and keep
// it alive after everything else let go; lists built elsewhere, copies included, use the heap.
TEST(RecordArena, ListsMadeInUseLiveThereAndHoldItCopiesDoNot) {
    RecordList<std::uint32_t> moved_out;
    const RecordMap<std::uint32_t, RecordList<std::uint32_t>> table = decode_in_arena(64, [&] {
        RecordMap<std::uint32_t, RecordList<std::uint32_t>> built;
        for (std::uint32_t key = 0; key < 20; ++key) {
            RecordList<std::uint32_t>& list = built[key];
            list.resize(key * 10);
            std::iota(list.begin(), list.end(), key);
        }
        moved_out = std::move(built.at(19));
        return built;
    });
    ASSERT_NE(moved_out.get_allocator().arena(), nullptr);
    EXPECT_EQ(table.at(3).get_allocator().arena(), moved_out.get_allocator().arena());
    EXPECT_EQ(RecordList<std::uint32_t>{}.get_allocator().arena(), nullptr);
    const RecordList<std::uint32_t> copy = table.at(18);
    EXPECT_EQ(copy.get_allocator().arena(), nullptr);
    EXPECT_EQ(copy.back(), 18u + 179u);
    EXPECT_EQ(moved_out.size(), 190u);
    EXPECT_EQ(moved_out.back(), 19u + 189u);
}

// A table read, gone with its arena, leaves the records moved out of it whole (ASan tells).
TEST(RecordArena, RecordsOutliveTheTableTheyCameFrom) {
    // Table 0x10000001: one base effect, one part with two texture swaps, no sub-palettes.
    const std::vector<std::uint8_t> bytes = [] {
        std::vector<std::uint8_t> out{0x01, 0x00, 0x00, 0x10, 0x01, 0x00, 0x40, 0x00,
                                      0x01, 0x00, 0x00, 0x02, 0x01, 0x00, 0x00, 0x00};
        for (std::uint32_t word : {1u, 2u, 2u, 3u, 4u, 5u, 6u}) {
            for (int shift = 0; shift < 32; shift += 8) {
                out.push_back(static_cast<std::uint8_t>(word >> shift));
            }
        }
        out.insert(out.end(), {0x00, 0x00, 0x00, 0x00});
        return out;
    }();
    ByteReader reader{bytes};
    RecordList<CloObjectEffect> kept;
    {
        ClothingTable read = ClothingTable::read(reader, Endian::Little).value();
        ASSERT_NE(read.clothing_base_effects.get_allocator().arena(), nullptr);
        kept = std::move(read.clothing_base_effects.at(0x02000001).clo_object_effects);
    }
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].clo_texture_effects.size(), 2u);
    EXPECT_EQ(kept[0].clo_texture_effects[1].new_texture, 6u);
}

}  // namespace
}  // namespace tarnwick_dat
