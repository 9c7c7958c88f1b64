#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>

#include "tarnwick_base/expected.hpp"
#include "tarnwick_dat/io_error.hpp"

namespace tarnwick_dat {

// Fills `buffer` by repeated reads, retrying interrupted ones, until it is full or a read gives
// nothing (the end of the data); `read_once(rest)` is one read into the part still empty. Gives
// the number of bytes placed, or the first other failure.
template <class ReadOnce>
std::expected<std::size_t, IoError> fill_by_reads(std::span<std::uint8_t> buffer,
                                                  ReadOnce&& read_once) {
    std::size_t filled = 0;
    while (filled < buffer.size()) {
        auto got = read_once(buffer.subspan(filled));
        if (!got) {
            if (got.error().kind() == IoErrorKind::Interrupted) {
                continue;
            }
            return tarnwick_base::take_error(got);
        }
        if (*got == 0) {
            break;
        }
        filled += *got;
    }
    return filled;
}

}  // namespace tarnwick_dat
