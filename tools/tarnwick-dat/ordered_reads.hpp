#pragma once

// Reading many files of an archive in the order their chains lie in it, so that one read-ahead
// window carries runs of neighbouring files in a few large reads.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "archive.hpp"

namespace tarnwick_tool {

// The read-ahead of a window that reads files in offset order: large enough that a run of
// neighbouring files costs a handful of system reads, small enough to stay a modest buffer.
inline constexpr std::size_t ordered_read_span = std::size_t{2} << 20;

// The positions of `files` in ascending order of their first block, ties in their given order.
std::vector<std::size_t> offset_order(std::span<const ListedFile> files);

// The bytes a chain holding `size` bytes of payload spans on disk, link words included, when its
// blocks of `block_size` (more than a link word) lie one after another.
std::uint64_t chain_run_length(std::uint64_t size, std::uint64_t block_size);

// Makes `window` hold the blocks of `entry`'s chain when they lie together, wherever its first
// block is among them: when the blocks from the first on are not all held, the window reads
// afresh from as far before it as the chain is long to the end of the chain's blocks counted
// from it, and ahead of that up to its span while the reads go on forward. Files read in offset
// order, or in an order close to it, then cost one read for each span of the archive, and a file
// read on its own no more than twice its blocks; a chain whose blocks lie elsewhere is read by
// the library's own steps. A chain longer than half the span is left to them too.
void hold_chain(const dat::DatDatabase& database, const dat::DatFileEntry& entry,
                dat::ReadWindow& window);

// `DatDatabase::read_file_data` of `entry`'s chain through `window`, after `hold_chain`; into a
// span, of `entry.size` bytes at its start.
std::expected<void, dat::DatError> read_stored(const dat::DatDatabase& database,
                                               const dat::DatFileEntry& entry,
                                               dat::ReadWindow& window,
                                               std::vector<std::uint8_t>& out);
std::expected<void, dat::DatError> read_stored(const dat::DatDatabase& database,
                                               const dat::DatFileEntry& entry,
                                               dat::ReadWindow& window,
                                               std::span<std::uint8_t> out);

// `DatDatabase::check_file_data` of `entry`'s chain through `window`, after `hold_chain`: its
// reads and its error, none of its bytes kept.
std::expected<void, dat::DatError> check_stored(const dat::DatDatabase& database,
                                                const dat::DatFileEntry& entry,
                                                dat::ReadWindow& window);

// Where to cut `count` items, the `i`th holding `size_at(i)` bytes, into two stretches of about
// as many bytes for two threads to read; nothing when one stretch will do (fewer than two items,
// or one core).
std::optional<std::size_t> halving_cut(std::size_t count,
                                       const std::function<std::uint64_t(std::size_t)>& size_at);

// Runs `stretch(0)` on this thread and `stretch(1)` on a second one; when no thread can be had,
// one after the other here. Sets `stop` when either throws, so that the other can end early, and
// throws that exception here once both have ended.
void run_two_stretches(const std::function<void(std::size_t)>& stretch, std::atomic<bool>& stop);

}  // namespace tarnwick_tool
