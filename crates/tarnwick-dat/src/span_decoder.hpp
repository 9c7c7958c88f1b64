#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "tarnwick_base/little_endian.hpp"

namespace tarnwick_dat {

// Little-endian numbers taken one after another from bytes in memory, with no virtual call and
// no error value: a number that does not fit is refused and nothing is taken. Decoders built on
// it stop at the first refusal and word the failure themselves.
class SpanDecoder {
  public:
    explicit SpanDecoder(std::span<const std::uint8_t> bytes)
        : next_{bytes.data()}, end_{bytes.data() + bytes.size()}, start_{bytes.data()} {}

    template <std::unsigned_integral Number>
    bool number(Number& out) {
        if (left() < sizeof(Number)) {
            return false;
        }
        out = tarnwick_base::load_le<Number>(
            std::span<const std::uint8_t, sizeof(Number)>{next_, sizeof(Number)});
        next_ += sizeof(Number);
        return true;
    }

    // Copies the next `length` bytes to `out` and takes them; `length` is at most `left()`.
    void copy_to(void* out, std::size_t length) {
        std::memcpy(out, next_, length);
        next_ += length;
    }

    std::size_t left() const { return static_cast<std::size_t>(end_ - next_); }
    std::size_t consumed() const { return static_cast<std::size_t>(next_ - start_); }

  private:
    const std::uint8_t* next_;
    const std::uint8_t* end_;
    const std::uint8_t* start_;
};

}  // namespace tarnwick_dat
