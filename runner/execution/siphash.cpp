#include "runner/execution/siphash.hpp"

#include <bit>

namespace runner {
namespace {

void sip_round(std::array<std::uint64_t, 4>& v) {
    v[0] += v[1];
    v[1] = std::rotl(v[1], 13);
    v[1] ^= v[0];
    v[0] = std::rotl(v[0], 32);
    v[2] += v[3];
    v[3] = std::rotl(v[3], 16);
    v[3] ^= v[2];
    v[0] += v[3];
    v[3] = std::rotl(v[3], 21);
    v[3] ^= v[0];
    v[2] += v[1];
    v[1] = std::rotl(v[1], 17);
    v[1] ^= v[2];
    v[2] = std::rotl(v[2], 32);
}

}  // namespace

SipHasher::SipHasher(std::uint64_t key0, std::uint64_t key1, int compression_rounds,
                     int finalization_rounds)
    : v_{key0 ^ 0x736f6d6570736575ULL, key1 ^ 0x646f72616e646f6dULL, key0 ^ 0x6c7967656e657261ULL,
         key1 ^ 0x7465646279746573ULL},
      compression_rounds_(compression_rounds),
      finalization_rounds_(finalization_rounds) {}

void SipHasher::compress(std::uint64_t word, int rounds) {
    v_[3] ^= word;
    for (int i = 0; i < rounds; ++i) {
        sip_round(v_);
    }
    v_[0] ^= word;
}

void SipHasher::write_u8(std::uint8_t value) {
    tail_ |= static_cast<std::uint64_t>(value) << (8 * tail_length_);
    ++total_length_;
    if (++tail_length_ == 8) {
        compress(tail_, compression_rounds_);
        tail_ = 0;
        tail_length_ = 0;
    }
}

void SipHasher::write(std::string_view bytes) {
    for (const char byte : bytes) {
        write_u8(static_cast<std::uint8_t>(byte));
    }
}

void SipHasher::write_u64_le(std::uint64_t value) {
    for (int i = 0; i < 8; ++i) {
        write_u8(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

std::uint64_t SipHasher::finish() const {
    SipHasher last = *this;
    const std::uint64_t final_word = last.tail_ | (last.total_length_ << 56);
    last.compress(final_word, compression_rounds_);
    last.v_[2] ^= 0xff;
    for (int i = 0; i < finalization_rounds_; ++i) {
        sip_round(last.v_);
    }
    return last.v_[0] ^ last.v_[1] ^ last.v_[2] ^ last.v_[3];
}

SipHasher sip13_zero_keys() {
    return SipHasher(0, 0, 1, 3);
}

}  // namespace runner
