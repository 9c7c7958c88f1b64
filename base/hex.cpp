#include "tarnwick_base/hex.hpp"

#include <cctype>
#include <charconv>

namespace tarnwick_base {

std::string hex_lower(std::uint64_t value) {
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, value, 16).ptr;
    return std::string(digits, end);
}

std::string hex_upper(std::uint64_t value, std::size_t width) {
    std::string digits = hex_lower(value);
    for (char& digit : digits) {
        digit = static_cast<char>(std::toupper(static_cast<unsigned char>(digit)));
    }
    if (digits.size() < width) {
        digits.insert(0, width - digits.size(), '0');
    }
    return digits;
}

}  // namespace tarnwick_base
