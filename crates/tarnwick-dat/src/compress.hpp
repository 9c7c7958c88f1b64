#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tarnwick_dat {

// Compresses `input` into the stored form that `decompress_lrs` expands: the 4-byte
// little-endian length of `input`, then the token stream. Greedy: at each position the longest
// earlier match (distance 1 to 4095, length 2 to 17, found through hash chains) becomes a
// back-reference, otherwise the byte is a literal. `input` must be shorter than 4 GiB.
std::vector<std::uint8_t> compress_lrs(std::span<const std::uint8_t> input);

}  // namespace tarnwick_dat
