#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <memory_resource>
#include <new>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "tarnwick_base/export.hpp"

namespace tarnwick_dat {

// Memory for the lists and maps of one decoded file's records: carved one after another out of
// a block sized from the file, given back all at once. A clothing table of fifty lists and maps
// then costs one or two allocations instead of fifty, and nothing to free piece by piece.
//
// Every container allocating from an arena holds a count on it, so a record moved out of its
// table keeps its memory alive; the arena goes with the last of them.
class TARNWICK_DAT_API RecordArena {
  public:
    // Gives a new arena whose first block, taken with the arena in one allocation, holds
    // `first_block` bytes; it has one count, for the caller to hand on or release.
    static RecordArena* create(std::size_t first_block);

    RecordArena(const RecordArena&) = delete;
    RecordArena& operator=(const RecordArena&) = delete;

    // From the first block while it lasts, without a call; then from blocks of the heap.
    void* allocate(std::size_t bytes, std::size_t alignment) {
        void* at = next_;
        std::size_t left = static_cast<std::size_t>(end_ - next_);
        if (std::align(alignment, bytes, at, left) != nullptr) {
            next_ = static_cast<std::byte*>(at) + bytes;
            return at;
        }
        return more_.allocate(bytes, alignment);
    }
    void hold() noexcept { holders_.fetch_add(1, std::memory_order_relaxed); }
    void release() noexcept {
        if (holders_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            destroy();
        }
    }

    // The arena that containers made on this thread take, while a decoder has one in use.
    static RecordArena* in_use() noexcept;

    // Makes `arena` the one in use on this thread for the scope's lifetime.
    class Use {
      public:
        explicit Use(RecordArena* arena) noexcept;
        Use(const Use&) = delete;
        Use& operator=(const Use&) = delete;
        ~Use();

      private:
        RecordArena* previous_;
    };

  private:
    RecordArena(std::byte* first_block, std::size_t length, std::size_t allocation_length)
        : next_{first_block},
          end_{first_block + length},
          more_{std::pmr::new_delete_resource()},
          allocation_length_{allocation_length} {}
    ~RecordArena() = default;
    void destroy() noexcept;

    std::byte* next_;  // the first block's unused rest, up to `end_`
    std::byte* end_;
    std::pmr::monotonic_buffer_resource more_;
    std::size_t allocation_length_;  // of the arena and its first block together
    std::atomic<std::size_t> holders_{1};
};

// Runs `decode` with a new arena of `first_block` bytes in use on this thread: the lists and
// maps it builds live there, and hold the arena for as long as they live.
template <class Decode>
auto decode_in_arena(std::size_t first_block, Decode&& decode) -> decltype(decode()) {
    struct Release {
        RecordArena* arena;
        ~Release() { arena->release(); }
    } const created{RecordArena::create(first_block)};
    const RecordArena::Use use{created.arena};
    return decode();
}

// The allocator of the records' lists and maps. Made while a decoder has an arena in use, it
// allocates there; made anywhere else (records built by hand, copies), it allocates from the
// heap as the standard allocator does.
template <class T>
class RecordAllocator {
  public:
    using value_type = T;
    using propagate_on_container_move_assignment = std::true_type;
    using propagate_on_container_swap = std::true_type;
    using propagate_on_container_copy_assignment = std::false_type;
    using is_always_equal = std::false_type;

    RecordAllocator() noexcept : arena_{RecordArena::in_use()} { hold(); }
    RecordAllocator(const RecordAllocator& other) noexcept : arena_{other.arena_} { hold(); }
    RecordAllocator(RecordAllocator&& other) noexcept : arena_{other.arena_} {
        other.arena_ = nullptr;
    }
    template <class U>
    RecordAllocator(const RecordAllocator<U>& other) noexcept : arena_{other.arena()} {
        hold();
    }
    RecordAllocator& operator=(RecordAllocator other) noexcept {
        std::swap(arena_, other.arena_);
        return *this;
    }
    ~RecordAllocator() {
        if (arena_ != nullptr) {
            arena_->release();
        }
    }

    T* allocate(std::size_t count) {
        if (arena_ == nullptr) {
            return std::allocator<T>{}.allocate(count);
        }
        if (count > std::allocator_traits<std::allocator<T>>::max_size(std::allocator<T>{})) {
            throw std::bad_array_new_length{};
        }
        return static_cast<T*>(arena_->allocate(count * sizeof(T), alignof(T)));
    }
    void deallocate(T* pointer, std::size_t count) noexcept {
        if (arena_ == nullptr) {
            std::allocator<T>{}.deallocate(pointer, count);
        }
    }

    // A copy of a container allocates where a container made now would.
    RecordAllocator select_on_container_copy_construction() const { return {}; }

    RecordArena* arena() const noexcept { return arena_; }

    friend bool operator==(const RecordAllocator& a, const RecordAllocator& b) noexcept {
        return a.arena_ == b.arena_;
    }

  private:
    void hold() noexcept {
        if (arena_ != nullptr) {
            arena_->hold();
        }
    }

    RecordArena* arena_;
};

// A record's list of records, in stored order.
template <class T>
using RecordList = std::vector<T, RecordAllocator<T>>;

template <class Key, class Value>
using RecordMap = std::unordered_map<Key, Value, std::hash<Key>, std::equal_to<Key>,
                                     RecordAllocator<std::pair<const Key, Value>>>;

}  // namespace tarnwick_dat
