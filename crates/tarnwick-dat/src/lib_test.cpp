#include "lib.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "test_support/source_line.hpp"

namespace tarnwick_dat {
namespace {

using Bytes = std::vector<std::uint8_t>;

void put_u32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

// Header bytes (80) with the three fields that decide the archive kind.
Bytes header_bytes(std::uint32_t magic, std::uint32_t block_size, std::uint32_t dataset) {
    Bytes bytes(80, 0);
    put_u32(bytes, 0, magic);
    put_u32(bytes, 4, block_size);
    put_u32(bytes, 12, dataset);
    return bytes;
}

DatHeader parse(const Bytes& bytes) {
    ByteReader reader{bytes};
    return DatHeader::read(reader).value();
}

TEST(DatKind, DecidedByMagicBlockSizeAndDataset) {
    struct Case {
        std::uint32_t magic, block_size, dataset;
        DatKind kind;
    };
    const Case cases[] = {
        {0x5442, 1024, 1, DatKind::Portal},  {0x5442, 1024, 2, DatKind::Local},
        {0x5442, 256, 2, DatKind::Cell},     {0x5442, 256, 1, DatKind::Local},
        {0x4254, 1024, 1, DatKind::Unknown}, {0x5442, 512, 1, DatKind::Local},
        {0, 256, 2, DatKind::Unknown},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parse(header_bytes(c.magic, c.block_size, c.dataset)).dat_kind(), c.kind)
            << c.magic << " " << c.block_size << " " << c.dataset;
    }
}

TEST(DatHeaderRead, FieldsInFileOrderAndRawVersionBytes) {
    Bytes bytes(80, 0);
    for (std::size_t field = 0; field < 15; ++field) {
        put_u32(bytes, field * 4, static_cast<std::uint32_t>(100 + field));
    }
    for (std::size_t i = 0; i < 16; ++i) {
        bytes[60 + i] = static_cast<std::uint8_t>(0xF0 + i);  // not valid text
    }
    put_u32(bytes, 76, 0xCAFE);
    ByteReader reader{bytes};
    const DatHeader header = DatHeader::read(reader).value();
    EXPECT_EQ(header.magic, 100u);
    EXPECT_EQ(header.dataset, 103u);
    EXPECT_EQ(header.root_offset, 108u);
    EXPECT_EQ(header.use_lru, 111u);
    EXPECT_EQ(header.game_version, 114u);
    ASSERT_EQ(header.version_string.size(), 16u);
    EXPECT_EQ(header.version_string[15], 0xFF);
    EXPECT_EQ(header.version_minor, 0xCAFEu);
    EXPECT_EQ(reader.position().value(), 80u);
}

class HeaderFromFile
    : public ::testing::TestWithParam<std::tuple<std::size_t, const char*, const char*>> {
  protected:
    void SetUp() override {
        path_ = std::filesystem::temp_directory_path() /
                ("tarnwick_header_" + std::to_string(::getpid()) + ".dat");
    }
    void TearDown() override { std::filesystem::remove(path_); }
    std::filesystem::path path_;
};

// Archives shorter than 400 bytes fail in the first header field that does not fit.
TEST_P(HeaderFromFile, TruncatedArchiveNamesTheFirstMissingField) {
    const auto [file_length, field, cause] = GetParam();
    {
        std::ofstream out{path_, std::ios::binary};
        const std::string bytes(file_length, '\x01');
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::lseek(fd, dat_header_offset, SEEK_SET), 320);
    FileReader reader{fd};
    auto failed = DatHeader::read(reader);
    const off_t position_after = ::lseek(fd, 0, SEEK_CUR);
    ::close(fd);

    ASSERT_FALSE(failed);
    const ReadError& error = failed.error();
    EXPECT_EQ(error.cause_text(), cause);
    ASSERT_EQ(error.frames().size(), 1u);
    EXPECT_EQ(error.frames()[0].message,
              std::string{"While parsing field '"} + field + "' in DatHeader");
    EXPECT_EQ(error.frames()[0].location->file, "crates/tarnwick-dat/src/lib.hpp");
    EXPECT_EQ(position_after, 320);
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, HeaderFromFile,
    ::testing::Values(std::tuple{std::size_t{320}, "magic", "failed to fill whole buffer"},
                      std::tuple{std::size_t{330}, "file_size", "failed to fill whole buffer"},
                      std::tuple{std::size_t{379}, "game_version", "failed to fill whole buffer"},
                      std::tuple{std::size_t{380}, "version_string", "not enough bytes in reader"},
                      std::tuple{std::size_t{395}, "version_string", "not enough bytes in reader"},
                      std::tuple{std::size_t{396}, "version_minor", "failed to fill whole buffer"},
                      std::tuple{std::size_t{399}, "version_minor", "failed to fill whole buffer"}),
    [](const auto& info) { return "bytes" + std::to_string(std::get<0>(info.param)); });

TEST(DatHeaderRead, EveryFrameLineHoldsItsFieldDeclaration) {
    const FieldSite sites[] = {
        DatHeader::magic_site,         DatHeader::block_size_site,
        DatHeader::file_size_site,     DatHeader::dataset_site,
        DatHeader::subset_site,        DatHeader::free_head_site,
        DatHeader::free_tail_site,     DatHeader::free_count_site,
        DatHeader::root_offset_site,   DatHeader::new_lru_site,
        DatHeader::old_lru_site,       DatHeader::use_lru_site,
        DatHeader::master_map_id_site, DatHeader::engine_version_site,
        DatHeader::game_version_site,  DatHeader::version_string_site,
        DatHeader::version_minor_site,
    };
    for (const FieldSite& site : sites) {
        const std::string line = test_support::source_line(site.file, site.line).value_or("");
        EXPECT_NE(line.find("TARNWICK_FIELD("), std::string::npos) << site.field;
        EXPECT_NE(line.find(", " + std::string{site.field} + ")"), std::string::npos) << line;
        EXPECT_EQ(site.record, "DatHeader");
    }
}

}  // namespace
}  // namespace tarnwick_dat
