#pragma once

// Test support: reads a line of this repository's sources, to prove that a reported location is
// real.

#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>

namespace tarnwick_dat::testing {

// Line `line` (1-based) of `path`, relative to the repository root; empty if there is none.
inline std::string source_line(std::string_view path, std::uint32_t line) {
    std::ifstream file{std::string{TARNWICK_SOURCE_ROOT} + "/" + std::string{path}};
    std::string text;
    for (std::uint32_t n = 0; n < line && std::getline(file, text); ++n) {
    }
    return file ? text : std::string{};
}

}  // namespace tarnwick_dat::testing
