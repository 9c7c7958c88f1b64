#include "tarnwick_dat/block_chain.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

#include "tarnwick_dat/test_support/memory_file.hpp"

namespace tarnwick_dat {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Reads = std::vector<std::pair<std::uint64_t, std::size_t>>;
using ::testing::HasSubstr;

void put_u32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

// Blocks of 1024 bytes whose payload byte i of block b is (b * 31 + i) & 0xFF.
Bytes numbered_blocks(std::size_t count, std::size_t block_size = 1024) {
    Bytes bytes(count * block_size);
    for (std::size_t b = 0; b < count; ++b) {
        for (std::size_t i = 0; i < block_size - 4; ++i) {
            bytes[b * block_size + 4 + i] = static_cast<std::uint8_t>(b * 31 + i);
        }
    }
    return bytes;
}

Bytes payload(const Bytes& file, std::size_t from, std::size_t count) {
    return {file.begin() + static_cast<std::ptrdiff_t>(from),
            file.begin() + static_cast<std::ptrdiff_t>(from + count)};
}

TEST(ReadFileData, SizeZeroTouchesNothing) {
    test_support::MemoryFile file{Bytes(8)};
    auto data = read_file_data(file, 1024, 0xFFFFFF00, 0);
    ASSERT_TRUE(data.has_value());
    EXPECT_TRUE(data->empty());
    EXPECT_TRUE(file.reads().empty());
    EXPECT_EQ(file.length_queries(), 0);
}

struct ChainCase {
    const char* name;
    std::uint32_t first_link;
    std::uint32_t size;
    Reads reads;
    Bytes (*expected)(const Bytes&);
};

// Which reads a chain costs: one for each link word, one for each payload, the last in one go.
TEST(ReadFileData, ReadsEachBlockOnceAndStopsAtSize) {
    const ChainCase cases[] = {
        {"1020 bytes stay in the first block",
         2048,
         1020,
         {{1024, 4}, {1028, 1020}},
         [](const Bytes& f) { return payload(f, 1028, 1020); }},
        {"1021 bytes take one from the second",
         2048,
         1021,
         {{1024, 4}, {1028, 1020}, {2048, 4}, {2052, 1}},
         [](const Bytes& f) {
             Bytes bytes = payload(f, 1028, 1020);
             bytes.push_back(f[2052]);
             return bytes;
         }},
        {"a last block reads on past its end",
         0,
         1500,
         {{1024, 4}, {1028, 1500}},
         [](const Bytes& f) { return payload(f, 1028, 1500); }},
    };
    for (const ChainCase& c : cases) {
        Bytes bytes = numbered_blocks(4);
        put_u32(bytes, 1024, c.first_link);
        put_u32(bytes, 2048, 0x7FFFFFFF);  // never followed
        test_support::MemoryFile file{bytes};
        auto data = read_file_data(file, 1024, 1024, c.size);
        ASSERT_TRUE(data.has_value()) << c.name;
        EXPECT_EQ(*data, c.expected(bytes)) << c.name;
        EXPECT_EQ(file.reads(), c.reads) << c.name;
    }
}

TEST(ReadFileData, FollowsLinksInAnyOrder) {
    Bytes bytes = numbered_blocks(4, 16);
    put_u32(bytes, 48, 16);
    put_u32(bytes, 16, 32);
    put_u32(bytes, 32, 0);
    test_support::MemoryFile file{bytes};
    auto data = read_file_data(file, 16, 48, 30);
    ASSERT_TRUE(data.has_value());
    Bytes expected = payload(bytes, 52, 12);
    for (const Bytes& part : {payload(bytes, 20, 12), payload(bytes, 36, 6)}) {
        expected.insert(expected.end(), part.begin(), part.end());
    }
    EXPECT_EQ(*data, expected);
}

TEST(ReadFileData, ChainLeadingBackToItselfEndsAtSize) {
    Bytes bytes = numbered_blocks(2, 16);
    put_u32(bytes, 16, 16);
    test_support::MemoryFile file{bytes};
    auto data = read_file_data(file, 16, 16, 30);
    ASSERT_TRUE(data.has_value());
    EXPECT_EQ(file.reads().size(), 6u);
}

TEST(ReadFileData, SecondBlockBeyondTheEndFailsAfterTheFirst) {
    Bytes bytes = numbered_blocks(2);
    put_u32(bytes, 1024, 8192);
    test_support::MemoryFile file{bytes};
    auto data = read_file_data(file, 1024, 1024, 1500);
    ASSERT_FALSE(data.has_value());
    ASSERT_TRUE(data.error().is<DatError::Io>());
    EXPECT_EQ(data.error().display(), "IO error: failed to fill whole buffer");
    EXPECT_EQ(file.reads(), (Reads{{1024, 4}, {1028, 1020}, {8192, 4}}));
}

TEST(ReadFileData, InterruptedReadsAreRetried) {
    Bytes bytes = numbered_blocks(2);
    test_support::MemoryFile file{bytes};
    file.interrupt_next(2);
    file.limit_reads_to(100);
    auto data = read_file_data(file, 1024, 1024, 1020);
    ASSERT_TRUE(data.has_value());
    EXPECT_EQ(*data, payload(bytes, 1028, 1020));
}

TEST(ReadFileData, SystemErrorsBecomeIo) {
    test_support::MemoryFile file{numbered_blocks(2)};
    file.fail_with(EIO);
    auto data = read_file_data(file, 1024, 1024, 10);
    ASSERT_FALSE(data.has_value());
    EXPECT_THAT(data.error().display(), HasSubstr("(os error 5)"));
}

TEST(ReadFileData, BlocksWithoutPayloadAreCorruption) {
    for (std::uint32_t block_size : {0u, 3u, 4u}) {
        Bytes bytes(64);
        put_u32(bytes, 16, 16);  // a chain that would never end
        test_support::MemoryFile file{bytes};
        auto data = read_file_data(file, block_size, 16, 10);
        ASSERT_FALSE(data.has_value());
        ASSERT_TRUE(data.error().is<DatError::Corruption>()) << data.error().display();
        EXPECT_EQ(data.error().display(), "Corruption detected: block size " +
                                              std::to_string(block_size) +
                                              " leaves no room for payload in the chain at "
                                              "offset 0x10");
        EXPECT_TRUE(file.reads().empty());
    }
}

// A size no file of this length can hold fails as the read itself would, before allocating.
TEST(ReadFileData, SizeBeyondTheFileIsRefusedBeforeReading) {
    test_support::MemoryFile file{numbered_blocks(2)};
    auto data = read_file_data(file, 1024, 0, 0xFFFFFFFF);
    ASSERT_FALSE(data.has_value());
    EXPECT_EQ(data.error().display(), "IO error: failed to fill whole buffer");
    EXPECT_TRUE(file.reads().empty());
}

// A source of zeros as long as asked, to reach offsets above 4 GiB without a file.
class ZeroFile final : public FileExtPolyfill {
  public:
    std::expected<std::size_t, IoError> read_at(std::span<std::uint8_t> buffer,
                                                std::uint64_t offset) const override {
        offsets.push_back(offset);
        std::fill(buffer.begin(), buffer.end(), 0);
        return buffer.size();
    }
    std::expected<std::uint64_t, IoError> length() const override { return 1ull << 33; }
    mutable std::vector<std::uint64_t> offsets;
};

TEST(ReadFileData, PayloadOffsetIsFormedIn64Bits) {
    ZeroFile file;
    ASSERT_TRUE(read_file_data(file, 1024, 0xFFFFFFFC, 8).has_value());
    EXPECT_EQ(file.offsets, (std::vector<std::uint64_t>{0xFFFFFFFC, 0x100000000}));
}

}  // namespace
}  // namespace tarnwick_dat
