#include "tarnwick_dat/file_type/record_arena.hpp"

#include <new>

namespace tarnwick_dat {
namespace {

thread_local RecordArena* arena_in_use = nullptr;

}  // namespace

RecordArena* RecordArena::create(std::size_t first_block) {
    // The first block lies right after the arena, in the same allocation.
    void* const whole = ::operator new(sizeof(RecordArena) + first_block);
    return ::new (whole)
        RecordArena{static_cast<std::byte*>(whole) + sizeof(RecordArena), first_block};
}

void RecordArena::destroy() noexcept {
    this->~RecordArena();
    ::operator delete(static_cast<void*>(this));
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
