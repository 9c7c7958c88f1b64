#pragma once

#include <cstdint>

namespace tarnwick_dat {

// The kind of archive, as its header describes it.
enum class DatKind : std::uint8_t {
    Portal = 0,
    Cell = 1,
    Local = 2,
    Unknown = 3,
};

}  // namespace tarnwick_dat
