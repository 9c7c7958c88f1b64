#include "sample_archive.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "tarnwick_dat/file_type.hpp"
#include "tarnwick_dat/file_type/clothing.hpp"
#include "tarnwick_dat/lib.hpp"
#include "tarnwick_dat/test_support/temp_dir.hpp"

namespace tarnwick_forge {
namespace {

using namespace tarnwick_dat;

std::vector<char> file_bytes(const std::filesystem::path& path) {
    std::ifstream in{path, std::ios::binary};
    return {std::istreambuf_iterator<char>{in}, {}};
}

TEST(SampleArchive, ReadsBackAsAPortalArchiveWhoseClothingParsesToTheWrittenTally) {
    tarnwick_dat::test_support::TempDir dir;
    const auto path = dir / "portal.dat";
    const SampleSummary summary = write_sample_archive(path, {.seed = 7, .scale = 0.02}).value();
    EXPECT_EQ(summary.archive_bytes, std::filesystem::file_size(path));
    EXPECT_GT(summary.compressed_files, 0u);
    EXPECT_GT(summary.scattered_files, 0u);

    const DatDatabase dat = DatDatabase::open(path).value();
    EXPECT_EQ(dat.dat_kind(), DatKind::Portal);
    EXPECT_EQ(std::string(dat.header().version_string.begin(), dat.header().version_string.end()),
              "SYNTHETIC SAMPLE");
    EXPECT_EQ(dat.files().size(), summary.files);

    ClothingTally tally;
    std::uint64_t clothing = 0;
    for (const auto& [id, entry] : dat.files()) {
        if (from_id_in_dat(id, dat.dat_kind()) != DatFileType::Clothing) {
            continue;
        }
        const auto bytes = dat.get_file(id).value();
        ByteReader reader{bytes};
        const ClothingTable table = ClothingTable::read(reader, Endian::Little).value();
        EXPECT_EQ(table.id, id);
        EXPECT_EQ(reader.position().value(), bytes.size());
        tally.add(table);
        ++clothing;
    }
    EXPECT_EQ(clothing, summary.clothing_tables);
    EXPECT_EQ(tally.base_effects, summary.clothing.base_effects);
    EXPECT_EQ(tally.object_effects, summary.clothing.object_effects);
    EXPECT_EQ(tally.texture_swaps, summary.clothing.texture_swaps);
    EXPECT_EQ(tally.sub_pal_effects, summary.clothing.sub_pal_effects);
    EXPECT_EQ(tally.sub_palettes, summary.clothing.sub_palettes);

    // It holds the known record.
    const auto bytes = dat.get_file(0x10000001).value();
    ByteReader reader{bytes};
    const ClothingTable table = ClothingTable::read(reader, Endian::Little).value();
    const ClothingBaseEffect& effect = table.clothing_base_effects.at(0x02001A18);
    ASSERT_EQ(effect.clo_object_effects.size(), 6u);
    const CloObjectEffect& first = effect.clo_object_effects[0];
    EXPECT_EQ(first.index, 9u);
    EXPECT_EQ(first.model_id, 0x01004AA7u);
    ASSERT_EQ(first.clo_texture_effects.size(), 2u);
    EXPECT_EQ(first.clo_texture_effects[0].old_texture, 0x050003D5u);
    EXPECT_EQ(first.clo_texture_effects[0].new_texture, 0x0500025Fu);
}

TEST(SampleArchive, SameOptionsGiveTheSameBytesAndAnotherSeedOthers) {
    tarnwick_dat::test_support::TempDir dir;
    ASSERT_TRUE(write_sample_archive(dir / "a.dat", {.seed = 11, .scale = 0.01}));
    ASSERT_TRUE(write_sample_archive(dir / "b.dat", {.seed = 11, .scale = 0.01}));
    ASSERT_TRUE(write_sample_archive(dir / "c.dat", {.seed = 12, .scale = 0.01}));
    EXPECT_EQ(file_bytes(dir / "a.dat"), file_bytes(dir / "b.dat"));
    EXPECT_NE(file_bytes(dir / "a.dat"), file_bytes(dir / "c.dat"));
}

// Whether, in file order, two clothing tables ever lie next to each other.
bool clothing_tables_adjacent(const DatDatabase& dat) {
    std::vector<DatFileEntry> entries;
    for (const auto& [id, entry] : dat.files()) {
        entries.push_back(entry);
    }
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.offset < b.offset; });
    const auto clothing = [&](const DatFileEntry& entry) {
        return from_id_in_dat(entry.id, dat.dat_kind()) == DatFileType::Clothing;
    };
    return std::adjacent_find(entries.begin(), entries.end(), [&](const auto& a, const auto& b) {
               return clothing(a) && clothing(b);
           }) != entries.end();
}

TEST(SampleArchive, ScatteredLayoutHoldsTheSameFilesWithNoTwoClothingTablesTogether) {
    tarnwick_dat::test_support::TempDir dir;
    const SampleSummary grouped_summary =
        write_sample_archive(dir / "grouped.dat", {.seed = 7, .scale = 0.02}).value();
    const SampleSummary scattered_summary =
        write_sample_archive(dir / "scattered.dat",
                             {.seed = 7, .scale = 0.02, .layout = SampleLayout::Scattered})
            .value();
    EXPECT_EQ(scattered_summary.files, grouped_summary.files);
    EXPECT_EQ(scattered_summary.clothing.texture_swaps, grouped_summary.clothing.texture_swaps);

    const DatDatabase grouped = DatDatabase::open(dir / "grouped.dat").value();
    const DatDatabase scattered = DatDatabase::open(dir / "scattered.dat").value();
    ASSERT_EQ(scattered.files().size(), grouped.files().size());
    for (const auto& [id, entry] : grouped.files()) {
        ASSERT_TRUE(scattered.files().contains(id)) << id;
        EXPECT_EQ(scattered.get_file(id).value(), grouped.get_file(id).value()) << id;
    }
    EXPECT_TRUE(clothing_tables_adjacent(grouped));
    EXPECT_FALSE(clothing_tables_adjacent(scattered));
}

TEST(SampleArchive, DirectoryHasSeveralLevels) {
    tarnwick_dat::test_support::TempDir dir;
    const auto path = dir / "portal.dat";
    ASSERT_TRUE(write_sample_archive(path, {.seed = 5, .scale = 0.1}));
    const DatDatabase dat = DatDatabase::open(path).value();
    // More entries than two levels of 61-entry nodes can hold without a third.
    EXPECT_GT(dat.files().size(), 61u * 62u);
}

}  // namespace
}  // namespace tarnwick_forge
