#pragma once

// For tests only: names for the cases of parameterised suites, so that every case is listed by
// what it is rather than by a dump of its bytes.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tarnwick_base/hex.hpp"

namespace tarnwick_base::test_support {

// The words as a test name: letters and digits kept, a minus sign before a number written as
// "minus", each byte outside printable ASCII as xHH, everything else a separator; the pieces
// joined by single underscores.
inline std::string param_name(std::string_view words) {
    const auto is_digit = [](char c) { return c >= '0' && c <= '9'; };
    std::vector<std::string> pieces(1);
    for (std::size_t at = 0; at < words.size(); ++at) {
        const char c = words[at];
        const auto byte = static_cast<unsigned char>(c);
        if (is_digit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
            pieces.back().push_back(c);
            continue;
        }
        const bool sign =
            c == '-' && pieces.back().empty() && at + 1 < words.size() && is_digit(words[at + 1]);
        if (sign) {
            pieces.back() = "minus";
            continue;
        }
        if (byte < 0x20 || byte >= 0x7F) {
            pieces.emplace_back(1, 'x');
            pieces.back() += hex_upper(byte, 2);
        }
        pieces.emplace_back();
    }
    std::string name;
    for (const std::string& piece : pieces) {
        if (piece.empty()) {
            continue;
        }
        if (!name.empty()) {
            name.push_back('_');
        }
        name += piece;
    }
    return name.empty() ? "none" : name;
}

}  // namespace tarnwick_base::test_support
