#include "tarnwick_dat/block_chain.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <random>
#include <string>

#include "tarnwick_dat/test_support/memory_file.hpp"

namespace tarnwick_dat {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Reads = std::vector<std::pair<std::uint64_t, std::size_t>>;
using ::testing::HasSubstr;

void put_u32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
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

// The bytes, or the error as the check would print it, of either chain read.
std::string outcome(const std::expected<std::vector<std::uint8_t>, DatError>& read) {
    if (!read) {
        return "error " + read.error().debug();
    }
    return "bytes " + std::string{read->begin(), read->end()};
}

std::string outcome(const std::expected<void, DatError>& read, const Bytes& out) {
    if (!read) {
        return "error " + read.error().debug();
    }
    return "bytes " + std::string{out.begin(), out.end()};
}

// How the blocks of a generated chain link to each other.
enum class Links { Contiguous, Scattered, Looping, Anywhere };

struct ChainKind {
    const char* name;
    Links links;
    bool truncated;  // the file ends at a random byte, often inside the chain
};

// Random small archives with one chain each, read through the fast path (a window kept across
// reads or not, a length known at open that may have gone stale, short reads) and step by
// step: the bytes or the error must be the same.
TEST(ReadChain, AgreesWithTheStepByStepRead) {
    const ChainKind kinds[] = {
        {"contiguous", Links::Contiguous, false},
        {"contiguous, file ending inside or right after it", Links::Contiguous, true},
        {"scattered", Links::Scattered, false},
        {"scattered, truncated", Links::Scattered, true},
        {"looping back", Links::Looping, false},
        {"links pointing anywhere, truncated", Links::Anywhere, true},
    };
    for (const ChainKind& kind : kinds) {
        for (std::uint32_t seed = 0; seed < 400; ++seed) {
            std::mt19937 rng{seed * 7919 + static_cast<std::uint32_t>(kind.links)};
            const auto pick = [&rng](std::uint32_t low, std::uint32_t high) {
                return std::uniform_int_distribution<std::uint32_t>{low, high}(rng);
            };
            const std::uint32_t block_size = std::array{8u, 16u, 20u, 64u}[pick(0, 3)];
            const std::uint32_t blocks = pick(2, 12);
            const std::uint32_t base = pick(0, 5);  // blocks need not sit on any boundary
            Bytes bytes(base + blocks * block_size);
            for (auto& byte : bytes) {
                byte = static_cast<std::uint8_t>(pick(0, 255));
            }
            const auto block_at = [&](std::uint32_t b) { return base + b * block_size; };
            for (std::uint32_t b = 0; b < blocks; ++b) {
                std::uint32_t link = 0;
                switch (kind.links) {
                    case Links::Contiguous:
                        link = b + 1 < blocks ? block_at(b + 1) : 0;
                        break;
                    case Links::Scattered:
                        link = block_at(pick(0, blocks - 1));
                        break;
                    case Links::Looping:
                        link = block_at(b + 1 < blocks ? b + 1 : pick(0, b));
                        break;
                    case Links::Anywhere:
                        link = pick(0, 3) == 0 ? pick(0, 0xFFFFFFFF)
                                               : pick(0, static_cast<std::uint32_t>(bytes.size()));
                        break;
                }
                put_u32(bytes, block_at(b), pick(0, 5) == 0 ? 0 : link);
            }
            if (kind.truncated) {
                bytes.resize(pick(0, static_cast<std::uint32_t>(bytes.size())));
            }
            test_support::MemoryFile file{bytes};
            if (pick(0, 3) == 0) {
                file.limit_reads_to(pick(1, 2 * block_size));
            }
            const std::uint64_t known_length =
                std::array{bytes.size(), bytes.size() / 2, bytes.size() + 100}[pick(0, 2)];
            const std::size_t span =
                std::array<std::size_t, 4>{0, block_size, 37, 4096}[pick(0, 3)];
            // The bytes gathered into a vector, into the caller's room and let go, each through
            // its own window.
            ReadWindow window{span};
            ReadWindow room_window{span};
            ReadWindow check_window{span};
            // Several chains through each window, as neighbouring files are read.
            for (int read = 0; read < 3; ++read) {
                const std::uint32_t offset = pick(0, 4) == 0
                                                 ? pick(0, static_cast<std::uint32_t>(base + 3))
                                                 : block_at(pick(0, blocks - 1));
                const std::uint32_t size = pick(0, (blocks + 1) * (block_size - 4));
                const ChainSource source{file, block_size, known_length};
                Bytes out;
                const std::string fast =
                    outcome(read_chain(source, offset, size, window, out), out);
                Bytes room(size);
                const std::string in_room =
                    outcome(read_chain(source, offset, room_window, room), room);
                const std::string exact = outcome(read_file_data(file, block_size, offset, size));
                ASSERT_EQ(fast, exact) << kind.name << ", seed " << seed << ", read " << read
                                       << ": " << size << " bytes at " << offset;
                ASSERT_EQ(in_room, exact) << kind.name << ", seed " << seed << ", read " << read;
                const auto checked = check_chain(source, offset, size, check_window);
                ASSERT_EQ(checked ? "whole" : "error " + checked.error().debug(),
                          exact.starts_with("error") ? exact : "whole")
                    << kind.name << ", seed " << seed << ", read " << read << ", let go";
            }
        }
    }
}

// What the fast path is for: a run of contiguous blocks in one read, links into the bytes
// already read followed in memory, and step by step where a link leaves them.
TEST(ReadChain, ContiguousBlocksCostOneRead) {
    const struct {
        const char* name;
        std::vector<std::uint32_t> links;  // of the blocks at 1024, 2048, ...
        std::size_t reads;
    } cases[] = {
        {"three blocks in a row", {2048, 3072, 0}, 1},
        {"a link back into the bytes read", {2048, 1024}, 1},
        {"the second block elsewhere", {4096, 0, 0, 5120}, 1 + 2 * 2},
    };
    for (const auto& c : cases) {
        Bytes bytes = numbered_blocks(6);
        for (std::size_t b = 0; b < c.links.size(); ++b) {
            put_u32(bytes, 1024 * (b + 1), c.links[b]);
        }
        test_support::MemoryFile fast_file{bytes};
        test_support::MemoryFile exact_file{bytes};
        ReadWindow window{0};
        Bytes out;
        ASSERT_TRUE(read_chain({fast_file, 1024, bytes.size()}, 1024, 2500, window, out));
        EXPECT_EQ(out, *read_file_data(exact_file, 1024, 1024, 2500)) << c.name;
        EXPECT_EQ(fast_file.reads().size(), c.reads) << c.name;
        EXPECT_LT(fast_file.reads().size(), exact_file.reads().size()) << c.name;
        EXPECT_EQ(fast_file.length_queries(), 0) << c.name;
    }
}

// Files read one after another through one window read further and further ahead, up to its
// span, over small gaps too and from inside the bytes held; a file elsewhere costs its own bytes
// alone, and reading on from it grows again.
TEST(ReadChain, ReadsAheadOnlyWhileFilesFollowOneAnother) {
    Bytes bytes = numbered_blocks(2048, 64);  // every link 0: the payload runs on from any block
    test_support::MemoryFile file{bytes};
    ReadWindow window{6000};
    Bytes out;
    const std::pair<std::uint32_t, std::uint32_t> files[] = {
        {1, 60},   {2, 60},    {3, 60},    {66, 60},   {67, 60},
        {300, 60}, {1000, 60}, {1001, 60}, {1070, 60}, {1163, 120}};
    for (const auto& [block, size] : files) {
        ASSERT_TRUE(read_chain({file, 64, bytes.size()}, block * 64, size, window, out));
        EXPECT_EQ(out, payload(bytes, block * 64 + 4, size)) << block;
    }
    EXPECT_EQ(file.reads(), (Reads{{64, 64},
                                   {128, 4096},
                                   {4224, 6000},
                                   {19200, 64},
                                   {64000, 64},
                                   {64064, 4096},
                                   {68480, 6000},
                                   {74432, 6000}}));
}

}  // namespace
}  // namespace tarnwick_dat
