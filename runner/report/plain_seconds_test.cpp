#include "runner/report/plain_seconds.hpp"

#include <gtest/gtest.h>

namespace runner {
namespace {

using std::chrono::nanoseconds;

TEST(PlainSeconds, ShortestPlainDecimal) {
    struct Case {
        nanoseconds duration;
        std::string_view text;
    };
    const Case cases[] = {
        {nanoseconds{0}, "0"},
        {nanoseconds{1'500'000'000}, "1.5"},
        {nanoseconds{123'000}, "0.000123"},
        {nanoseconds{1}, "0.000000001"},
        {nanoseconds{2'000'000'000}, "2"},
        {nanoseconds{12'345'678'901}, "12.345678901"},
        {nanoseconds{86'400'000'000'007}, "86400.000000007"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(plain_seconds(c.duration), c.text) << c.duration.count();
    }
    EXPECT_EQ(plain_decimal(1e21), "1000000000000000000000");
    EXPECT_EQ(plain_decimal(1234.5), "1234.5");
}

}  // namespace
}  // namespace runner
