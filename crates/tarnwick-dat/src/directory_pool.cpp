#include "tarnwick_dat/directory_pool.hpp"

#include <algorithm>

namespace tarnwick_dat {

void* DirectoryPool::do_allocate(std::size_t bytes, std::size_t alignment) {
    if (std::align(alignment, bytes, next_, left_) == nullptr) {
        // Growing geometrically when no size was expected keeps the blocks few.
        const std::size_t size = std::max(next_block_, bytes + alignment);
        blocks_.push_back(std::make_unique_for_overwrite<std::byte[]>(size));
        next_ = blocks_.back().get();
        left_ = size;
        next_block_ = 2 * size;
        std::align(alignment, bytes, next_, left_);
    }
    void* allocated = next_;
    next_ = static_cast<std::byte*>(next_) + bytes;
    left_ -= bytes;
    return allocated;
}

}  // namespace tarnwick_dat
