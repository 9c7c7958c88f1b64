#pragma once

#include <cstdint>
#include <expected>
#include <string_view>

namespace runner {

// Why a text is not an acceptable unsigned number.
enum class NumberError { Empty, InvalidDigit, PosOverflow, Zero };

// The reason as printed in option and variable messages.
std::string_view number_error_text(NumberError error);

// An unsigned 64-bit decimal number, optionally preceded by one "+". Digits are read left to
// right; the first offending character decides the error.
std::expected<std::uint64_t, NumberError> parse_u64(std::string_view text);

// As parse_u64, and the value must not be 0.
std::expected<std::uint64_t, NumberError> parse_nonzero_u64(std::string_view text);

}  // namespace runner
