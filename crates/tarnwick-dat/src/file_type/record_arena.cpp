#include "tarnwick_dat/file_type/record_arena.hpp"

#include <new>
#include <utility>

namespace tarnwick_dat {
namespace {

thread_local RecordArena* arena_in_use = nullptr;

// The allocation of an arena that ended on this thread, kept for the next one, so that decoding
// file after file takes no allocation for an arena that fits in it. Plain data, usable at any
// point of the thread's life; `SpareRelease` gives it back when the thread ends.
struct Spare {
    void* memory = nullptr;
    std::size_t length = 0;
    bool closed = false;  // the thread is ending: nothing more is kept
};
// Larger allocations (tables of many records) are given back at once.
constexpr std::size_t max_spare_length = std::size_t{64} << 10;
thread_local Spare spare;

struct SpareRelease {
    SpareRelease() = default;
    SpareRelease(const SpareRelease&) = delete;
    SpareRelease& operator=(const SpareRelease&) = delete;
    ~SpareRelease() {
        ::operator delete(spare.memory);
        spare = {nullptr, 0, true};
    }
};
thread_local SpareRelease spare_release;

// At least `length` bytes: the spare allocation when it is large enough.
std::pair<void*, std::size_t> take_allocation(std::size_t length) {
    static_cast<void>(&spare_release);  // made on the thread's first arena, to end with it
    if (spare.memory != nullptr && spare.length >= length) {
        return {std::exchange(spare.memory, nullptr), std::exchange(spare.length, 0)};
    }
    return {::operator new(length), length};
}

// Keeps the larger of `memory` and the spare allocation as the spare, when it is not too large.
void give_back(void* memory, std::size_t length) noexcept {
    if (spare.closed || length > max_spare_length || length <= spare.length) {
        ::operator delete(memory);
        return;
    }
    ::operator delete(spare.memory);
    spare.memory = memory;
    spare.length = length;
}

}  // namespace

RecordArena* RecordArena::create(std::size_t first_block) {
    // The first block lies right after the arena, in the same allocation.
    const auto [whole, length] = take_allocation(sizeof(RecordArena) + first_block);
    return ::new (whole) RecordArena{static_cast<std::byte*>(whole) + sizeof(RecordArena),
                                     length - sizeof(RecordArena), length};
}

void RecordArena::destroy() noexcept {
    const std::size_t length = allocation_length_;
    this->~RecordArena();
    give_back(static_cast<void*>(this), length);
}

RecordArena* RecordArena::in_use() noexcept {
    return arena_in_use;
}

RecordArena::Use::Use(RecordArena* arena) noexcept : previous_{arena_in_use} {
    arena_in_use = arena;
}

RecordArena::Use::~Use() {
    arena_in_use = previous_;
}

}  // namespace tarnwick_dat
