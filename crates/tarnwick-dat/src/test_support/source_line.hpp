#pragma once

// For tests only: the test targets define TARNWICK_SOURCE_ROOT, the repository root.

#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>

namespace tarnwick_dat::test_support {

// Line `line` (counted from 1) of the file at `path` below the repository root, as reported in
// a record-reading frame; nothing if the file or the line does not exist.
inline std::optional<std::string> source_line(std::string_view path, std::uint32_t line) {
    std::ifstream file{std::string{TARNWICK_SOURCE_ROOT} + "/" + std::string{path}};
    if (line == 0) {
        return std::nullopt;
    }
    std::string text;
    for (std::uint32_t i = 0; i < line; ++i) {
        if (!std::getline(file, text)) {
            return std::nullopt;
        }
    }
    return text;
}

}  // namespace tarnwick_dat::test_support
