#include "tarnwick_dat/writer.hpp"

#include <gtest/gtest.h>

#include <random>

#include "tarnwick_base/little_endian.hpp"
#include "tarnwick_dat/lib.hpp"
#include "tarnwick_dat/test_support/temp_dir.hpp"

namespace tarnwick_dat {
namespace {

std::vector<std::uint8_t> random_bytes(std::size_t count, std::uint32_t seed) {
    std::mt19937 generator{seed};
    std::vector<std::uint8_t> bytes(count);
    for (auto& byte : bytes) {
        byte = static_cast<std::uint8_t>(generator());
    }
    return bytes;
}

class WriterTest : public ::testing::Test {
  protected:
    DatWriter create(std::uint32_t block_size = 1024) {
        auto writer = DatWriter::create(path_, block_size);
        EXPECT_TRUE(writer.has_value());
        return std::move(*writer);
    }
    DatDatabase reopen(DatWriter& writer) {
        auto finished = writer.finish();
        EXPECT_TRUE(finished.has_value()) << finished.error().display();
        auto database = DatDatabase::open(path_);
        EXPECT_TRUE(database.has_value()) << database.error().display();
        return std::move(*database);
    }

    test_support::TempDir dir_;
    std::filesystem::path path_ = dir_ / "archive.dat";
};

TEST_F(WriterTest, HeaderFieldsComeBackAsWritten) {
    DatWriter writer = create(256);
    writer.header().dataset = 2;
    writer.header().file_size = 0xDEADBEEF;
    writer.header().version_string = {'v', '1'};
    writer.header().version_minor = 7;
    DatDatabase database = reopen(writer);
    EXPECT_EQ(database.header().block_size, 256u);
    EXPECT_EQ(database.header().file_size, 0xDEADBEEFu);
    EXPECT_EQ(database.header().version_minor, 7u);
    EXPECT_EQ(database.header().version_string.size(), 16u);
    EXPECT_EQ(database.header().version_string[0], 'v');
    EXPECT_EQ(database.header().version_string[1], '1');
    EXPECT_EQ(database.header().version_string[15], 0);
    EXPECT_EQ(database.dat_kind(), DatKind::Cell);
    EXPECT_TRUE(database.files().empty());
}

// Every layout and block size gives back exactly the stored bytes and entry fields.
TEST_F(WriterTest, FilesRoundTripInEveryLayout) {
    for (std::uint32_t block_size : {5u, 64u, 1024u}) {
        DatWriter writer = create(block_size);
        std::vector<DatFileEntry> entries;
        std::vector<std::vector<std::uint8_t>> contents;
        std::uint32_t id = 0x10000000;
        for (std::size_t size : {0u, 1u, 1020u, 1021u, 5000u}) {
            for (bool compressed : {false, true}) {
                for (ChainLayout layout : {ChainLayout::Contiguous, ChainLayout::Scattered}) {
                    contents.push_back(random_bytes(size, ++id));
                    auto entry = writer.store_file(id, contents.back(),
                                                   {.compressed = compressed,
                                                    .layout = layout,
                                                    .timestamp = id,
                                                    .version = 3});
                    ASSERT_TRUE(entry.has_value());
                    entries.push_back(*entry);
                }
            }
        }
        ASSERT_TRUE(writer.write_directory(entries).has_value());
        DatDatabase database = reopen(writer);
        ASSERT_EQ(database.files().size(), entries.size());
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const auto found = database.files().find(entries[i].id);
            ASSERT_TRUE(found != database.files().end());
            const DatFileEntry& stored = found->second;
            EXPECT_EQ(stored.offset, entries[i].offset);
            EXPECT_EQ(stored.size, entries[i].size);
            EXPECT_EQ(stored.timestamp, entries[i].id);
            EXPECT_EQ(stored.version, 3u);
            auto bytes = database.get_file(entries[i].id);
            ASSERT_TRUE(bytes.has_value()) << bytes.error().display();
            EXPECT_EQ(*bytes, contents[i]) << "block size " << block_size << " file " << i;
        }
    }
}

TEST_F(WriterTest, ScatteredChainsDoNotAscend) {
    DatWriter writer = create(64);
    auto blocks = writer.allocate_chain(60 * 10, ChainLayout::Scattered);
    ASSERT_TRUE(blocks.has_value());
    ASSERT_EQ(blocks->size(), 10u);
    EXPECT_FALSE(std::is_sorted(blocks->begin(), blocks->end()));
}

// A balanced tree over many entries is several levels deep and every entry is found again.
TEST_F(WriterTest, LargeDirectoryIsMultiLevelAndComplete) {
    DatWriter writer = create();
    std::vector<DatFileEntry> entries;
    for (std::uint32_t i = 0; i < 20000; ++i) {
        DatFileEntry entry;
        entry.id = 0x06000000 + i * 7;
        entry.offset = i;
        entries.push_back(entry);
    }
    auto root = writer.write_directory(entries);
    ASSERT_TRUE(root.has_value());
    DatDatabase database = reopen(writer);
    ASSERT_EQ(database.files().size(), entries.size());
    for (const DatFileEntry& entry : entries) {
        const auto found = database.files().find(entry.id);
        ASSERT_TRUE(found != database.files().end());
        ASSERT_EQ(found->second.offset, entry.offset);
    }
    // 20000 entries need three levels: the root's first child is itself an inner node.
    auto root_bytes = database.read_file_data(*root, dat_node_length);
    ASSERT_TRUE(root_bytes.has_value());
    const auto first_child =
        tarnwick_base::load_le<std::uint32_t>(std::span{*root_bytes}.first<4>());
    auto child_bytes = database.read_file_data(first_child, dat_node_length);
    ASSERT_TRUE(child_bytes.has_value());
    EXPECT_NE((*child_bytes)[0] | (*child_bytes)[1] | (*child_bytes)[2] | (*child_bytes)[3], 0);
}

TEST_F(WriterTest, RefusesBlocksWithoutPayload) {
    auto writer = DatWriter::create(path_, 4);
    ASSERT_FALSE(writer.has_value());
    EXPECT_TRUE(writer.error().is<DatError::Other>());
}

}  // namespace
}  // namespace tarnwick_dat
