#include "runner/options/number_parse.hpp"

#include <gtest/gtest.h>

namespace runner {
namespace {

struct NumberCase {
    std::string_view text;
    std::expected<std::uint64_t, NumberError> expected;
};

TEST(ParseU64, AcceptsAndRejectsLikeTheMessagesSay) {
    const NumberCase cases[] = {
        {"0", 0},
        {"007", 7},
        {"+12", 12},
        {"18446744073709551615", 18446744073709551615ULL},
        {"", std::unexpected(NumberError::Empty)},
        {"+", std::unexpected(NumberError::InvalidDigit)},
        {"-1", std::unexpected(NumberError::InvalidDigit)},
        {"++1", std::unexpected(NumberError::InvalidDigit)},
        {" 1", std::unexpected(NumberError::InvalidDigit)},
        {"1 ", std::unexpected(NumberError::InvalidDigit)},
        {"0x10", std::unexpected(NumberError::InvalidDigit)},
        {"18446744073709551616", std::unexpected(NumberError::PosOverflow)},
        {"99999999999999999999", std::unexpected(NumberError::PosOverflow)},
        // Read left to right: an overflow before a bad character is reported as overflow.
        {"184467440737095516160x", std::unexpected(NumberError::PosOverflow)},
        {"1x99999999999999999999", std::unexpected(NumberError::InvalidDigit)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parse_u64(c.text), c.expected) << "'" << c.text << "'";
    }
}

TEST(ParseNonzeroU64, ZeroHasItsOwnReason) {
    EXPECT_EQ(parse_nonzero_u64("0"), std::unexpected(NumberError::Zero));
    EXPECT_EQ(parse_nonzero_u64("+000"), std::unexpected(NumberError::Zero));
    EXPECT_EQ(parse_nonzero_u64("x"), std::unexpected(NumberError::InvalidDigit));
    EXPECT_EQ(parse_nonzero_u64("3"), 3u);
}

}  // namespace
}  // namespace runner
