#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tarnwick_dat {

// Expands a compressed file's stored bytes (the format: utils/lrs_format.hpp). Never fails:
// malformed input gives a shorter result.
std::vector<std::uint8_t> decompress_lrs(std::span<const std::uint8_t> input);

// The length a compressed file's stored bytes declare for their expansion: their size prefix;
// a stream shorter than the prefix is handed out as stored, so its own length.
std::uint32_t declared_lrs_size(std::span<const std::uint8_t> input);
// The most bytes `input` expands to: its declared length, or less when its items cannot give
// that many.
std::size_t lrs_output_limit(std::span<const std::uint8_t> input);
// `decompress_lrs` into the caller's `out`, of `lrs_output_limit(input)` bytes or more, for an
// expansion that goes straight where it is wanted; gives the length expanded.
std::size_t decompress_lrs_into(std::span<const std::uint8_t> input, std::span<std::uint8_t> out);
// The length `decompress_lrs` gives, found without writing the bytes: for telling whether a
// stream expands whole when its bytes are not wanted.
std::size_t lrs_expanded_length(std::span<const std::uint8_t> input);

}  // namespace tarnwick_dat
