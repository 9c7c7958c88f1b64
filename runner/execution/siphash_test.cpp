#include "runner/execution/siphash.hpp"

#include <gtest/gtest.h>

#include <string>

namespace runner {
namespace {

std::string counting_bytes(std::size_t length) {
    std::string bytes;
    for (std::size_t i = 0; i < length; ++i) {
        bytes.push_back(static_cast<char>(i));
    }
    return bytes;
}

struct Vector {
    std::size_t length;
    std::uint64_t hash;
};

// The published SipHash-2-4 vectors: key bytes 00..0f, message bytes 00, 01, ... of the length.
TEST(SipHash, TwoFourMatchesPublishedVectors) {
    constexpr std::uint64_t key0 = 0x0706050403020100ULL;
    constexpr std::uint64_t key1 = 0x0f0e0d0c0b0a0908ULL;
    for (const Vector v : {Vector{0, 0x726fdb47dd0e0e31ULL}, Vector{1, 0x74f839c593dc67fdULL},
                           Vector{15, 0xa129ca6149be45e5ULL}, Vector{63, 0x958a324ceb064572ULL}}) {
        SipHasher hasher(key0, key1, 2, 4);
        hasher.write(counting_bytes(v.length));
        EXPECT_EQ(hasher.finish(), v.hash) << "length " << v.length;
    }
}

// SipHash-1-3 with zero keys, from Python 3.11 (whose bytes hash is SipHash-1-3):
//   PYTHONHASHSEED=0 python3.11 -c 'print(hex(hash(bytes(range(15))) & (2**64 - 1)))'
TEST(SipHash, OneThreeZeroKeysMatchesIndependentReference) {
    for (const Vector v : {Vector{1, 0x68a914128e01e473ULL}, Vector{8, 0xead411e67ebe2eeaULL},
                           Vector{15, 0xf30eb725bb91c9eaULL}, Vector{64, 0x75e05fd5bbc870c6ULL}}) {
        SipHasher hasher = sip13_zero_keys();
        hasher.write(counting_bytes(v.length));
        EXPECT_EQ(hasher.finish(), v.hash) << "length " << v.length;
    }
}

TEST(SipHash, PiecesHashLikeTheWholeStream) {
    const std::string bytes = counting_bytes(27);
    SipHasher whole = sip13_zero_keys();
    whole.write(bytes);
    SipHasher pieces = sip13_zero_keys();
    pieces.write(bytes.substr(0, 3));
    pieces.write_u8(3);
    pieces.write_u64_le(0x0b0a090807060504ULL);
    pieces.write(bytes.substr(12));
    EXPECT_EQ(pieces.finish(), whole.finish());
}

}  // namespace
}  // namespace runner
