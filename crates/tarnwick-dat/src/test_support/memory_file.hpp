#pragma once

// For tests only: a positioned-read source held in memory that records every read and can
// interrupt or shorten reads on request.

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include "tarnwick_dat/utils/positioned_read.hpp"

namespace tarnwick_dat::test_support {

class MemoryFile final : public FileExtPolyfill {
  public:
    explicit MemoryFile(std::vector<std::uint8_t> bytes) : bytes_{std::move(bytes)} {}

    // The next `count` reads fail with EINTR before any data arrives.
    void interrupt_next(int count) { interruptions_ = count; }
    // Every read returns at most `count` bytes.
    void limit_reads_to(std::size_t count) { max_read_ = count; }
    // Every read fails with this error number.
    void fail_with(int code) { failure_ = code; }

    // Each successful system read as (offset, bytes requested).
    const std::vector<std::pair<std::uint64_t, std::size_t>>& reads() const { return reads_; }
    int length_queries() const { return length_queries_; }

    std::expected<std::size_t, IoError> read_at(std::span<std::uint8_t> buffer,
                                                std::uint64_t offset) const override {
        if (failure_ != 0) {
            return std::unexpected{IoError::from_errno(failure_)};
        }
        if (interruptions_ > 0) {
            --interruptions_;
            return std::unexpected{IoError::from_errno(EINTR)};
        }
        reads_.emplace_back(offset, buffer.size());
        if (offset >= bytes_.size()) {
            return 0;
        }
        const std::size_t count =
            std::min({buffer.size(), max_read_, static_cast<std::size_t>(bytes_.size() - offset)});
        std::memcpy(buffer.data(), bytes_.data() + offset, count);
        return count;
    }
    std::expected<std::uint64_t, IoError> length() const override {
        ++length_queries_;
        return bytes_.size();
    }

  private:
    std::vector<std::uint8_t> bytes_;
    mutable int interruptions_ = 0;
    std::size_t max_read_ = static_cast<std::size_t>(-1);
    int failure_ = 0;
    mutable int length_queries_ = 0;
    mutable std::vector<std::pair<std::uint64_t, std::size_t>> reads_;
};

}  // namespace tarnwick_dat::test_support
