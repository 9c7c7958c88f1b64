#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace runner {

// SipHash over a byte stream fed in pieces, with the round counts as parameters (1 and 3 for
// the shuffle; 2 and 4 for the published reference vectors).
class SipHasher {
  public:
    SipHasher(std::uint64_t key0, std::uint64_t key1, int compression_rounds,
              int finalization_rounds);

    void write(std::string_view bytes);
    void write_u8(std::uint8_t value);
    void write_u64_le(std::uint64_t value);
    std::uint64_t finish() const;

  private:
    void compress(std::uint64_t word, int rounds);

    std::array<std::uint64_t, 4> v_;
    std::uint64_t tail_ = 0;  // bytes not yet forming a whole word, little-endian
    std::size_t tail_length_ = 0;
    std::uint64_t total_length_ = 0;
    int compression_rounds_;
    int finalization_rounds_;
};

// SipHash-1-3 with both keys 0.
SipHasher sip13_zero_keys();

}  // namespace runner
