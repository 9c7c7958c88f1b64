#include "tarnwick_base/little_endian.hpp"

#include <gtest/gtest.h>

#include <array>

namespace tarnwick_base {
namespace {

TEST(LittleEndian, LoadsWhatItAppends) {
    std::vector<std::uint8_t> bytes;
    append_le<std::uint16_t>(bytes, 0xBEEF);
    append_le<std::uint32_t>(bytes, 0x12345678);
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0xEF, 0xBE, 0x78, 0x56, 0x34, 0x12}));
    EXPECT_EQ(load_le<std::uint16_t>(std::span{bytes}.first<2>()), 0xBEEF);
    EXPECT_EQ(load_le<std::uint32_t>(std::span{bytes}.subspan<2, 4>()), 0x12345678u);
    constexpr std::array<std::uint8_t, 4> top{0, 0, 0, 0xFF};
    static_assert(load_le<std::uint32_t>(top) == 0xFF000000u);
}

}  // namespace
}  // namespace tarnwick_base
