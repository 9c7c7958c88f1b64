#include "tarnwick_dat/utils/read_window.hpp"

#include <span>

namespace tarnwick_dat {

void ReadWindow::fill(const FileExtPolyfill& file, std::uint64_t offset, std::size_t length) {
    if (length > capacity_) {
        // Every byte is written by the read before it is looked at.
        bytes_ = std::make_unique_for_overwrite<std::uint8_t[]>(length);
        capacity_ = length;
    }
    start_ = offset;
    filled_ = 0;
    while (filled_ < length) {
        auto got =
            file.read_at(std::span{bytes_.get() + filled_, length - filled_}, offset + filled_);
        if (!got) {
            if (got.error().kind() == IoErrorKind::Interrupted) {
                continue;
            }
            break;
        }
        if (*got == 0) {
            break;
        }
        filled_ += *got;
    }
    complete_ = filled_ == length;
}

}  // namespace tarnwick_dat
