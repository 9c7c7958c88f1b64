#include "tarnwick_dat/utils/archive_file.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "tarnwick_dat/test_support/temp_dir.hpp"

namespace tarnwick_dat {
namespace {

using Bytes = std::vector<std::uint8_t>;

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

}  // namespace
}  // namespace tarnwick_dat
