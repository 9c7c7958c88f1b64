#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <memory_resource>
#include <vector>

namespace tarnwick_dat {

// Memory for a map that is filled once and released as a whole, such as an archive's
// directory: allocations are carved one after another out of large blocks, nothing is given
// back before the pool goes. Told beforehand how much the map will take, it takes it in one
// block, which the allocator can hand out again whole to the next archive opened.
class DirectoryPool final : public std::pmr::memory_resource {
  public:
    DirectoryPool() = default;
    DirectoryPool(const DirectoryPool&) = delete;
    DirectoryPool& operator=(const DirectoryPool&) = delete;

    // The next block holds at least `bytes`.
    void expect(std::size_t bytes) { next_block_ = std::max(next_block_, bytes); }

  private:
    void* do_allocate(std::size_t bytes, std::size_t alignment) override;
    void do_deallocate(void*, std::size_t, std::size_t) override {}
    bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override {
        return this == &other;
    }

    static constexpr std::size_t first_block = 4096;
    std::vector<std::unique_ptr<std::byte[]>> blocks_;
    std::uintptr_t next_ = 0;  // where the free part of the last block starts
    std::uintptr_t end_ = 0;
    std::size_t next_block_ = first_block;
};

}  // namespace tarnwick_dat
