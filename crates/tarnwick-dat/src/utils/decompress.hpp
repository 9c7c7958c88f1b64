#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tarnwick_dat {

// Expands a compressed file's stored bytes (the format: utils/lrs_format.hpp). Never fails:
// malformed input gives a shorter result.
std::vector<std::uint8_t> decompress_lrs(std::span<const std::uint8_t> input);

}  // namespace tarnwick_dat
