#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "archive.hpp"

namespace tarnwick_tool {

// Why a file is not exactly one clothing table of its own id, and the offset where reading
// stopped.
struct ClothingProblem {
    std::string text;
    std::uint64_t position = 0;
};

struct ClothingReading {
    std::optional<dat::ClothingTable> table;  // when the records parsed
    std::optional<ClothingProblem> problem;
};

// Reads the bytes of the file `id` as a clothing table that must use every byte and name itself
// `id`. A table that parsed is kept even when bytes are left over or its id differs.
ClothingReading read_clothing_file(std::span<const std::uint8_t> bytes, std::uint32_t id);

}  // namespace tarnwick_tool
