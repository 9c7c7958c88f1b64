#pragma once

// Helpers shared by the fuzz targets: turning the fuzzer's bytes into what each target reads,
// and stopping loudly when a result is not sound.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick_fuzz {

using Bytes = std::span<const std::uint8_t>;

inline std::string_view as_text(Bytes data) {
    return {reinterpret_cast<const char*>(data.data()), data.size()};
}

// The input cut at every zero byte: one argument per piece, an empty piece included.
inline std::vector<std::string> split_at_zeros(Bytes data) {
    std::vector<std::string> pieces(1);
    for (const std::uint8_t byte : data) {
        if (byte == 0) {
            pieces.emplace_back();
        } else {
            pieces.back().push_back(static_cast<char>(byte));
        }
    }
    return pieces;
}

// A broken promise: the fuzzer records the input that led here.
[[noreturn]] inline void unsound(const char* what) {
    std::fprintf(stderr, "unsound result: %s\n", what);
    std::abort();
}

inline void require(bool condition, const char* what) {
    if (!condition) {
        unsound(what);
    }
}

}  // namespace tarnwick_fuzz
