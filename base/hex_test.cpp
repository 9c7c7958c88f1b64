#include "tarnwick_base/hex.hpp"

#include <gtest/gtest.h>

namespace tarnwick_base {
namespace {

TEST(Hex, LowerHasNoPaddingAndUpperPadsToWidth) {
    EXPECT_EQ(hex_lower(0), "0");
    EXPECT_EQ(hex_lower(0x1abc), "1abc");
    EXPECT_EQ(hex_lower(0xFFFFFFFFFFFFFFFF), "ffffffffffffffff");
    EXPECT_EQ(hex_upper(0x1), "00000001");
    EXPECT_EQ(hex_upper(0xFFFFFFFF), "FFFFFFFF");
    EXPECT_EQ(hex_upper(0x123456789A), "123456789A");
    EXPECT_EQ(hex_upper(0xF, 2), "0F");
}

}  // namespace
}  // namespace tarnwick_base
