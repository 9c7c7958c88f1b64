#include "runner/options/number_parse.hpp"

#include <limits>

namespace runner {

std::string_view number_error_text(NumberError error) {
    switch (error) {
        case NumberError::Empty:
            return "cannot parse integer from empty string";
        case NumberError::InvalidDigit:
            return "invalid digit found in string";
        case NumberError::PosOverflow:
            return "number too large to fit in target type";
        case NumberError::Zero:
            return "number would be zero for non-zero type";
    }
    return {};
}

std::expected<std::uint64_t, NumberError> parse_u64(std::string_view text) {
    if (text.empty()) {
        return std::unexpected(NumberError::Empty);
    }
    std::string_view digits = text;
    if (digits.front() == '+') {
        digits.remove_prefix(1);
        if (digits.empty()) {  // a sign alone is not a number
            return std::unexpected(NumberError::InvalidDigit);
        }
    }
    constexpr std::uint64_t max = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') {
            return std::unexpected(NumberError::InvalidDigit);
        }
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (value > (max - digit) / 10) {
            return std::unexpected(NumberError::PosOverflow);
        }
        value = value * 10 + digit;
    }
    return value;
}

std::expected<std::uint64_t, NumberError> parse_nonzero_u64(std::string_view text) {
    auto value = parse_u64(text);
    if (value && *value == 0) {
        return std::unexpected(NumberError::Zero);
    }
    return value;
}

}  // namespace runner
