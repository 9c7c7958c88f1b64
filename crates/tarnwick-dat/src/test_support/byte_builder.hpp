#pragma once

// For tests only: writes stored forms by hand, independently of the library's writers.

#include <cstdint>
#include <vector>

namespace tarnwick_dat::test_support {

// Little-endian bytes appended field by field.
class ByteBuilder {
  public:
    ByteBuilder& u16(std::uint16_t value) {
        bytes_.push_back(static_cast<std::uint8_t>(value));
        bytes_.push_back(static_cast<std::uint8_t>(value >> 8));
        return *this;
    }
    ByteBuilder& u32(std::uint32_t value) {
        u16(static_cast<std::uint16_t>(value));
        return u16(static_cast<std::uint16_t>(value >> 16));
    }
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

  private:
    std::vector<std::uint8_t> bytes_;
};

}  // namespace tarnwick_dat::test_support
