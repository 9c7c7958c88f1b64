#pragma once

// For tests only: names for the cases of parameterised suites, so that every case is listed by
// what it is rather than by a dump of its bytes.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tarnwick_base/hex.hpp"

namespace tarnwick_base::test_support {

// The words as a test name: letters and digits kept, each byte outside printable ASCII written
// as xHH, everything else a separator; the pieces joined by single underscores.
inline std::string param_name(std::string_view words) {
    std::vector<std::string> pieces(1);
    for (const char c : words) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z') ||
            (byte >= 'a' && byte <= 'z')) {
            pieces.back().push_back(c);
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
