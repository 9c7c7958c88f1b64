#include "tarnwick_dat/directory_pool.hpp"

#include <algorithm>
#include <cstdint>

namespace tarnwick_dat {

void* DirectoryPool::do_allocate(std::size_t bytes, std::size_t alignment) {
    // Alignments are powers of two.
    const auto aligned = [alignment](std::uintptr_t at) {
        return (at + alignment - 1) & ~(std::uintptr_t{alignment} - 1);
    };
    std::uintptr_t at = aligned(next_);
    if (at + bytes > end_ || next_ == 0) {
        // Growing geometrically when no size was expected keeps the blocks few.
        const std::size_t size = std::max(next_block_, bytes + alignment);
        blocks_.push_back(std::make_unique_for_overwrite<std::byte[]>(size));
        next_ = reinterpret_cast<std::uintptr_t>(blocks_.back().get());
        end_ = next_ + size;
        next_block_ = 2 * size;
        at = aligned(next_);
    }
    next_ = at + bytes;
    return reinterpret_cast<void*>(at);
}

}  // namespace tarnwick_dat
