#pragma once

#include <cstdint>
#include <expected>
#include <span>

#include "tarnwick_dat/io_error.hpp"

namespace tarnwick_dat {

// Reading at an absolute offset of a file without using or moving its position, so reads may
// interleave freely. Implementations give the single system read; the loop around it is shared.
class TARNWICK_DAT_API FileExtPolyfill {
  public:
    virtual ~FileExtPolyfill() = default;

    // One positioned read of up to `buffer.size()` bytes: the count read (0 at the end of the
    // file) or the system's error, an interruption included.
    virtual std::expected<std::size_t, IoError> read_at(std::span<std::uint8_t> buffer,
                                                        std::uint64_t offset) const = 0;
    // The file's current length in bytes.
    virtual std::expected<std::uint64_t, IoError> length() const = 0;

    // Fills the whole buffer from `offset`, retrying interrupted reads. At the end of the file it
    // fails with "failed to fill whole buffer"; bytes already read stay in the buffer.
    std::expected<void, IoError> read_exact_at_compat(std::span<std::uint8_t> buffer,
                                                      std::uint64_t offset) const;
};

}  // namespace tarnwick_dat
