#include "tarnwick_dat/utils/positioned_read.hpp"

#include <gtest/gtest.h>

#include "tarnwick_dat/test_support/memory_file.hpp"

namespace tarnwick_dat {
namespace {

using Bytes = std::vector<std::uint8_t>;

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

}  // namespace
}  // namespace tarnwick_dat
