#include "tarnwick_dat/compress.hpp"

#include <gtest/gtest.h>

#include <random>
#include <thread>

#include "tarnwick_dat/utils.hpp"

namespace tarnwick_dat {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes random_bytes(std::size_t count, std::uint32_t seed, std::uint32_t alphabet = 256) {
    std::mt19937 generator{seed};
    Bytes bytes(count);
    for (auto& byte : bytes) {
        byte = static_cast<std::uint8_t>(generator() % alphabet);
    }
    return bytes;
}

// Text-like data: phrases repeated at distances both inside and beyond the window.
Bytes phrases(std::size_t count) {
    const std::string words[] = {"clothing ", "table ", "palette ", "0x10000001 ", "effect "};
    std::mt19937 generator{7};
    Bytes bytes;
    while (bytes.size() < count) {
        const std::string& word = words[generator() % std::size(words)];
        bytes.insert(bytes.end(), word.begin(), word.end());
        if (generator() % 50 == 0) {
            const Bytes noise = random_bytes(5000, static_cast<std::uint32_t>(generator()));
            bytes.insert(bytes.end(), noise.begin(), noise.end());
        }
    }
    bytes.resize(count);
    return bytes;
}

struct RoundTripCase {
    const char* name;
    Bytes input;
};

TEST(CompressLrs, RoundTripsThroughTheDecompressor) {
    const RoundTripCase cases[] = {
        {"empty", {}},
        {"one byte", {0x42}},
        {"two equal bytes", {7, 7}},
        {"random", random_bytes(100000, 1)},
        {"small alphabet", random_bytes(100000, 2, 3)},
        {"one byte repeated", Bytes(100000, 0xAB)},
        {"period 4095",
         [] {
             Bytes period = random_bytes(4095, 3);
             Bytes bytes;
             for (int i = 0; i < 5; ++i) {
                 bytes.insert(bytes.end(), period.begin(), period.end());
             }
             return bytes;
         }()},
        {"period 4096, just out of reach",
         [] {
             Bytes period = random_bytes(4096, 4);
             Bytes bytes = period;
             bytes.insert(bytes.end(), period.begin(), period.end());
             return bytes;
         }()},
        {"phrases", phrases(300000)},
    };
    for (const RoundTripCase& c : cases) {
        const Bytes stored = compress_lrs(c.input);
        ASSERT_GE(stored.size(), 4u) << c.name;
        EXPECT_EQ(stored[0] | stored[1] << 8 | stored[2] << 16 | stored[3] << 24,
                  static_cast<int>(c.input.size()))
            << c.name;
        EXPECT_EQ(decompress_lrs(stored), c.input) << c.name;
    }
}

// The matcher really finds matches: repetitive input shrinks close to the format's limit of
// 17 bytes per 2-byte reference, random input grows by at most one control byte per 8 bytes.
TEST(CompressLrs, CompressesRepetitionAndBoundsGrowth) {
    const Bytes repeated(170000, 0x11);
    EXPECT_LT(compress_lrs(repeated).size(), 4 + 170000 / 17 * 2 + 170000 / 17 / 8 + 16);
    const Bytes period = random_bytes(1000, 5);
    Bytes periodic;
    for (int i = 0; i < 100; ++i) {
        periodic.insert(periodic.end(), period.begin(), period.end());
    }
    EXPECT_LT(compress_lrs(periodic).size(), 1000 + 99000 / 17 * 2 + 99000 / 8 / 8 + 200);
    const Bytes noise = random_bytes(80000, 6);
    EXPECT_LE(compress_lrs(noise).size(), 4 + 80000 + 10000);
}

// The finder's tables outlive each input: nothing an earlier input left in them may match.
TEST(CompressLrs, EarlierInputsLeaveNoTrace) {
    const Bytes text = phrases(5000);
    const Bytes alone = compress_lrs(text);
    for (const Bytes& before : {text, random_bytes(70000, 3, 4), Bytes{}}) {
        compress_lrs(before);
        EXPECT_EQ(compress_lrs(text), alone);
    }
    // A fresh thread starts from fresh tables and must agree.
    Bytes elsewhere;
    std::thread{[&] { elsewhere = compress_lrs(text); }}.join();
    EXPECT_EQ(elsewhere, alone);
}

}  // namespace
}  // namespace tarnwick_dat
