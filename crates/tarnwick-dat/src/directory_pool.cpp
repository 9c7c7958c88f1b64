#include "tarnwick_dat/directory_pool.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

namespace tarnwick_dat {
namespace {

// Makes the whole pages of [begin, end) resident and writable at once. A block is filled from
// end to end right after it is taken, and one call that brings in all its pages costs far less
// than a page fault for each. Where the kernel lacks the request, the pages come in as they are
// touched.
void bring_in(std::uintptr_t begin, std::uintptr_t end) {
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    begin = (begin + page - 1) / page * page;
    end = end / page * page;
    if (end > begin) {
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
    }
}

}  // namespace

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
        bring_in(next_, end_);
        at = aligned(next_);
    }
    next_ = at + bytes;
    return reinterpret_cast<void*>(at);
}

}  // namespace tarnwick_dat
