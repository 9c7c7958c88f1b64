#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The compressed form of a file (bit 0 of its directory entry's flags), shared by the expansion
// and the compressor: a 4-byte little-endian expanded size, then items in groups of eight, each
// group behind a control byte whose bits, most significant first, say what the items are: 0 a
// literal byte, 1 a two-byte back-reference.
namespace tarnwick_dat::lrs {

inline constexpr std::size_t size_prefix_length = 4;
inline constexpr std::uint8_t first_control_bit = 0x80;
inline constexpr std::size_t reference_length = 2;
inline constexpr std::size_t min_match_length = 2;
inline constexpr std::size_t max_match_length = 17;
inline constexpr std::size_t max_distance = 4095;

// Copy `length` bytes starting `distance` bytes back in the output.
struct Reference {
    std::size_t distance;
    std::size_t length;
};

// A back-reference's two bytes: the distance's low 8 bits; then the distance's bits 8 to 11 in
// the high nibble and the length minus 2 in the low nibble.
constexpr Reference decode_reference(std::uint8_t first, std::uint8_t second) {
    return {first | static_cast<std::size_t>(second & 0xF0) << 4,
            static_cast<std::size_t>(second & 0x0F) + min_match_length};
}

constexpr std::array<std::uint8_t, reference_length> encode_reference(Reference reference) {
    return {static_cast<std::uint8_t>(reference.distance & 0xFF),
            static_cast<std::uint8_t>((reference.distance >> 4 & 0xF0) |
                                      (reference.length - min_match_length))};
}

}  // namespace tarnwick_dat::lrs
