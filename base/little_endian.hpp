#pragma once

// Little-endian numbers: how every number of an archive and of its compressed form is stored.

#include <bit>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tarnwick_base {

// The number whose bytes these are, least significant first.
template <std::unsigned_integral Number>
constexpr Number load_le(std::span<const std::uint8_t, sizeof(Number)> bytes) {
    Number value = 0;
    for (std::size_t i = 0; i < sizeof(Number); ++i) {
        value |= static_cast<Number>(static_cast<Number>(bytes[i]) << (8 * i));
    }
    return value;
}

// Appends the number's bytes, least significant first.
template <std::unsigned_integral Number>
void append_le(std::vector<std::uint8_t>& out, Number value) {
    for (std::size_t i = 0; i < sizeof(Number); ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

// The number whose little-endian bytes were copied as they are into `stored`, as when a whole
// list is read straight into its elements.
template <std::unsigned_integral Number>
constexpr Number from_le(Number stored) {
    if constexpr (std::endian::native == std::endian::big) {
        return std::byteswap(stored);
    }
    return stored;
}

}  // namespace tarnwick_base
