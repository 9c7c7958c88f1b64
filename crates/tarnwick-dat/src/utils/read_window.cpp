#include "tarnwick_dat/utils/read_window.hpp"

#include <algorithm>
#include <span>

#include "tarnwick_dat/utils/read_loop.hpp"

namespace tarnwick_dat {

void ReadWindow::fill(const FileExtPolyfill& file, std::uint64_t offset, std::size_t length) {
    // A gap shorter than the first read ahead (the rest of a block, a small file between) does
    // not break a run of reads going forward.
    const bool goes_on = filled_ > 0 && offset >= start_ && offset <= end() + first_read_ahead;
    ahead_ = goes_on ? std::min(span_, std::max(2 * ahead_, first_read_ahead)) : 0;
    length = std::max(length, ahead_);
    if (length > capacity_) {
        // Every byte is written by the read before it is looked at.
        bytes_ = std::make_unique_for_overwrite<std::uint8_t[]>(length);
        capacity_ = length;
    }
    const std::span<std::uint8_t> buffer{bytes_.get(), length};
    auto filled = fill_by_reads(buffer, [&](std::span<std::uint8_t> rest) {
        return file.read_at(rest, offset + (buffer.size() - rest.size()));
    });
    // After a failing read the window holds nothing: the bytes are read again by whoever
    // needs them, and that read meets the failure.
    start_ = offset;
    filled_ = filled.value_or(0);
    complete_ = filled_ == length;
}

}  // namespace tarnwick_dat
