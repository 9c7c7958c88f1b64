#include "utils.hpp"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>

#include "test_support/memory_file.hpp"
#include "test_support/temp_dir.hpp"

namespace tarnwick_dat {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct DecompressCase {
    const char* name;
    Bytes input;
    Bytes expected;
};

// The examples of the format, byte for byte, and the malformed inputs that end decoding early.
TEST(DecompressLrs, ExpandsEveryCaseExactly) {
    const DecompressCase cases[] = {
        {"empty input passes through", {}, {}},
        {"three bytes pass through", {1, 2, 3}, {1, 2, 3}},
        {"size prefix only", {0xFF, 0, 0, 0}, {}},
        {"overlapping reference cut by the size",
         {0x05, 0, 0, 0, 0x40, 0x61, 0x01, 0x03},
         {0x61, 0x61, 0x61, 0x61, 0x61}},
        {"distance beyond the output starts at byte 0",
         {0x04, 0, 0, 0, 0x20, 0x61, 0x62, 0x05, 0x00},
         {0x61, 0x62, 0x61, 0x61}},
        {"distance 0 ends decoding", {0x0A, 0, 0, 0, 0x40, 0x61, 0x00, 0x00, 0x62}, {0x61}},
        {"stream runs out", {0x0A, 0, 0, 0, 0x00, 0x61, 0x62}, {0x61, 0x62}},
        {"control byte as the last byte",
         {0x0A, 0, 0, 0, 0x00, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0x00},
         {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'}},
        {"reference missing its second byte", {0x0A, 0, 0, 0, 0x40, 0x61, 0x01}, {0x61}},
        {"reference before any output stops", {0x0A, 0, 0, 0, 0x80, 0x01, 0x00, 0x61}, {}},
        {"ninth item takes a fresh control byte",
         {0x0A, 0, 0, 0, 0x00, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0x80, 0x01, 0x00},
         {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'h', 'h'}},
        {"bytes after the declared size are ignored",
         {0x02, 0, 0, 0, 0x00, 'a', 'b', 'c'},
         {'a', 'b'}},
    };
    for (const DecompressCase& c : cases) {
        EXPECT_EQ(decompress_lrs(c.input), c.expected) << c.name;
    }
}

// Bits 8 to 11 of a distance come from the high nibble of the reference's second byte.
TEST(DecompressLrs, DistanceUsesTwelveBits) {
    Bytes input{0xFF, 0x01, 0, 0};  // 511 bytes declared
    Bytes expected;
    for (int group = 0; group < 38; ++group) {
        input.push_back(0x00);
        for (int item = 0; item < 8; ++item) {
            input.push_back(static_cast<std::uint8_t>(expected.size() * 7));
            expected.push_back(input.back());
        }
    }
    // 304 bytes so far; a reference 0x12F = 303 back copies bytes 1 to 17, then one of 0xFFF
    // clamps to byte 0.
    input.insert(input.end(), {0xC0, 0x2F, 0x1F, 0xFF, 0xF0});
    for (int i = 1; i <= 17; ++i) {
        expected.push_back(expected[i]);
    }
    expected.push_back(expected[0]);
    expected.push_back(expected[0]);
    EXPECT_EQ(decompress_lrs(input), expected);
}

// A declared size of 4 GiB with a few bytes of stream reserves only what they can produce.
TEST(DecompressLrs, ReservesNoMoreThanTheInputCanProduce) {
    const Bytes input{0xFF, 0xFF, 0xFF, 0xFF, 0x40, 0x61, 0x01, 0x0F};
    const Bytes output = decompress_lrs(input);
    EXPECT_EQ(output, Bytes(18, 0x61));
    EXPECT_LE(output.capacity(), 4 * 17u);
}

TEST(ReadExactAtCompat, RetriesInterruptionsAndShortReads) {
    test_support::MemoryFile file{{1, 2, 3, 4, 5, 6, 7, 8, 9}};
    file.interrupt_next(3);
    file.limit_reads_to(2);
    Bytes buffer(6);
    ASSERT_TRUE(file.read_exact_at_compat(buffer, 2).has_value());
    EXPECT_EQ(buffer, (Bytes{3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(file.reads().size(), 3u);
}

TEST(ReadExactAtCompat, EndOfFileKeepsWhatArrived) {
    test_support::MemoryFile file{{1, 2, 3}};
    Bytes buffer(5, 0xEE);
    auto read = file.read_exact_at_compat(buffer, 1);
    ASSERT_FALSE(read.has_value());
    EXPECT_EQ(read.error().kind(), IoErrorKind::UnexpectedEof);
    EXPECT_EQ(read.error().display(), "failed to fill whole buffer");
    EXPECT_EQ(buffer, (Bytes{2, 3, 0xEE, 0xEE, 0xEE}));
}

TEST(ArchiveFile, PositionedReadsLeaveThePositionAlone) {
    test_support::TempDir dir;
    const auto path = dir / "data";
    std::ofstream{path} << "abcdefgh";
    auto file = ArchiveFile::open_read_only(path);
    ASSERT_TRUE(file.has_value());
    ASSERT_EQ(::lseek(file->fd(), 2, SEEK_SET), 2);
    Bytes buffer(3);
    ASSERT_TRUE(file->read_exact_at_compat(buffer, 5).has_value());
    EXPECT_EQ(buffer, (Bytes{'f', 'g', 'h'}));
    EXPECT_EQ(::lseek(file->fd(), 0, SEEK_CUR), 2);
    EXPECT_EQ(file->length(), 8u);
    EXPECT_FALSE(file->read_exact_at_compat(buffer, 6).has_value());
    EXPECT_EQ(::fcntl(file->fd(), F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
}

class PortalDatPath : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const char* value = std::getenv(variable)) {
            saved_ = value;
        }
        ::unsetenv(variable);
        std::ofstream{existing_default_} << "x";
        std::ofstream{archive_} << "x";
    }
    void TearDown() override {
        if (saved_) {
            ::setenv(variable, saved_->c_str(), 1);
        } else {
            ::unsetenv(variable);
        }
    }
    static void set(const std::string& value) { ::setenv(variable, value.c_str(), 1); }

    static constexpr const char* variable = "TARNWICK_PORTAL_DAT";
    std::optional<std::string> saved_;
    test_support::TempDir dir_;
    std::filesystem::path existing_default_ = dir_ / "default.dat";
    std::filesystem::path missing_default_ = dir_ / "missing.dat";
    std::filesystem::path archive_ = dir_ / "archive.dat";
};

TEST_F(PortalDatPath, ExistingVariableWinsExactlyAsWritten) {
    std::filesystem::create_directory(archive_.string() + ".d");
    set(archive_.string() + ".d/../archive.dat");
    EXPECT_EQ(get_portal_dat_path(existing_default_),
              std::filesystem::path{archive_.string() + ".d/../archive.dat"});
}

TEST_F(PortalDatPath, EmptyOrMissingVariableFallsBackToTheDefault) {
    for (const std::string& value : {std::string{}, (dir_ / "nothing.dat").string()}) {
        set(value);
        EXPECT_EQ(get_portal_dat_path(existing_default_), existing_default_) << value;
    }
}

TEST_F(PortalDatPath, VariableThatIsNotTextFallsBackToTheDefault) {
    std::ofstream{dir_ / "\xFF.dat"} << "x";
    set((dir_ / "\xFF.dat").string());
    EXPECT_EQ(get_portal_dat_path(existing_default_), existing_default_);
}

TEST_F(PortalDatPath, DirectoryCountsAsExisting) {
    set(dir_.path().string());
    EXPECT_EQ(get_portal_dat_path(missing_default_), dir_.path());
}

TEST_F(PortalDatPath, NothingWhenNeitherExists) {
    EXPECT_EQ(get_portal_dat_path(missing_default_), std::nullopt);
    set((dir_ / "nothing.dat").string());
    EXPECT_EQ(get_portal_dat_path(missing_default_), std::nullopt);
}

TEST(DefaultPortalDatPath, IsJoinedNotNormalised) {
    EXPECT_THAT(default_portal_dat_path().string(),
                ::testing::EndsWith("crates/tarnwick-dat/../../dats/portal.dat"));
    EXPECT_TRUE(default_portal_dat_path().is_absolute());
}

}  // namespace
}  // namespace tarnwick_dat
