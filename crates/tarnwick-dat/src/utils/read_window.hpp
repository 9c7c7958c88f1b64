#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "tarnwick_dat/utils/positioned_read.hpp"

namespace tarnwick_dat {

// File bytes read ahead in one positioned read and kept for the reads that follow, so that
// neighbouring chains cost one system read between them. A fill reads what it is asked for
// and, while fills go on forward from the last one (from inside it, or a little past its end),
// more ahead of it, doubling up to the span; a fill anywhere else reads just what it is asked
// for, so that chains scattered over the file cost no more bytes than they hold. A plain buffer: it
// belongs to one reader at a time, and serves bytes as they were when it was filled.
class ReadWindow {
  public:
    // Enough for a few dozen neighbouring files, few enough pages to stay cheap.
    static constexpr std::size_t read_ahead_span = 64 * 1024;
    // What the first fill that goes on from the last reads ahead at least.
    static constexpr std::size_t first_read_ahead = 4 * 1024;

    // No fill reads more than `span` bytes ahead; 0 reads just what is asked.
    explicit ReadWindow(std::size_t span = read_ahead_span) : span_{span} {}

    std::size_t span() const { return span_; }
    // Whether the window holds all of [offset, offset + length).
    bool holds(std::uint64_t offset, std::uint64_t length) const {
        return offset >= start_ && offset - start_ <= filled_ &&
               length <= filled_ - (offset - start_);
    }
    // The held byte at `offset`; only where `holds` says so.
    const std::uint8_t* at(std::uint64_t offset) const { return bytes_.get() + (offset - start_); }
    std::uint64_t end() const { return start_ + filled_; }
    // Whether the last fill got every byte it asked for.
    bool complete() const { return complete_; }

    // Replaces the held bytes with `length` bytes from `offset`, and those read ahead (see
    // above): fewer at the end of the file, none after a failing read. Whoever needs the
    // missing bytes reads them again and meets that end or that failure itself.
    void fill(const FileExtPolyfill& file, std::uint64_t offset, std::size_t length);

  private:
    std::size_t span_;
    std::size_t ahead_ = 0;  // what the last fill read ahead
    std::unique_ptr<std::uint8_t[]> bytes_;
    std::size_t capacity_ = 0;
    std::uint64_t start_ = 0;
    std::size_t filled_ = 0;
    bool complete_ = false;
};

}  // namespace tarnwick_dat
