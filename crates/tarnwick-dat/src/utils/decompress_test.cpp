#include "tarnwick_dat/utils/decompress.hpp"

#include <gtest/gtest.h>

#include <random>

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
    for (std::size_t i = 1; i <= 17; ++i) {
        expected.push_back(expected[i]);
    }
    expected.push_back(expected[0]);
    expected.push_back(expected[0]);
    EXPECT_EQ(decompress_lrs(input), expected);
}

// The expansion exactly as the format describes it: one byte at a time, each copied byte looked
// up afresh. The bulk copies must give the same bytes.
Bytes expand_byte_by_byte(const Bytes& input) {
    if (input.size() < 4) {
        return input;
    }
    const std::size_t output_size = std::size_t{input[0]} | std::size_t{input[1]} << 8 |
                                    std::size_t{input[2]} << 16 | std::size_t{input[3]} << 24;
    Bytes output;
    std::size_t at = 4;
    std::uint8_t control = 0;
    std::uint8_t bit = 0;
    while (output.size() < output_size && at < input.size()) {
        if (bit == 0) {
            control = input[at++];
            bit = 0x80;
        }
        if ((control & bit) != 0) {
            if (at + 1 >= input.size()) {
                break;
            }
            const std::size_t distance = input[at] | (input[at + 1] & 0xF0U) << 4;
            const std::size_t length = (input[at + 1] & 0x0F) + 2;
            at += 2;
            if (distance == 0 || output.empty()) {
                break;
            }
            for (std::size_t i = 0; i < length && output.size() < output_size; ++i) {
                output.push_back(output[distance > output.size() ? 0 : output.size() - distance]);
            }
        } else {
            if (at >= input.size()) {
                break;
            }
            output.push_back(input[at++]);
        }
        bit >>= 1;
    }
    return output;
}

// Random streams, expanded and measured: short and long distances (overlapping, reaching before the
// start, or 0), declared sizes short of, at and beyond what the stream gives, streams cut anywhere.
TEST(DecompressLrs, AgreesWithTheByteByByteExpansion) {
    std::mt19937 rng{3};
    for (int round = 0; round < 3000; ++round) {
        const auto declared = rng() % 600;
        Bytes input{static_cast<std::uint8_t>(declared), static_cast<std::uint8_t>(declared >> 8),
                    0, 0};
        const std::size_t groups = rng() % 40;
        for (std::size_t group = 0; group < groups; ++group) {
            const auto control = static_cast<std::uint8_t>(rng() & rng());  // mostly literals
            input.push_back(control);
            for (int bit = 7; bit >= 0; --bit) {
                if ((control >> bit & 1) == 0) {
                    input.push_back(static_cast<std::uint8_t>(rng()));
                    continue;
                }
                // Mostly short distances, some far, some before the output's start, a few 0
                // (which ends the expansion) anywhere in a group.
                const auto distance = rng() % 256 == 0 ? 0
                                      : rng() % 4 == 0 ? rng() % 4096
                                                       : 1 + rng() % 24;
                input.push_back(static_cast<std::uint8_t>(distance));
                input.push_back(static_cast<std::uint8_t>((distance >> 4 & 0xF0) | (rng() & 0x0F)));
            }
        }
        input.resize(input.size() - std::min<std::size_t>(input.size() - 4, rng() % 3));
        const Bytes expanded = expand_byte_by_byte(input);
        ASSERT_EQ(decompress_lrs(input), expanded) << "round " << round;
        ASSERT_EQ(lrs_expanded_length(input), expanded.size()) << "round " << round;
    }
}

}  // namespace
}  // namespace tarnwick_dat
