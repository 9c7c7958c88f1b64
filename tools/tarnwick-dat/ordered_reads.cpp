#include "ordered_reads.hpp"

#include <algorithm>
#include <cerrno>
#include <new>
#include <numeric>
#include <stdexcept>

namespace tarnwick_tool {

std::vector<std::size_t> offset_order(std::span<const ListedFile> files) {
    std::vector<std::size_t> order(files.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::ranges::stable_sort(order, {}, [&](std::size_t i) { return files[i].entry.offset; });
    return order;
}

std::uint64_t chain_run_length(std::uint64_t size, std::uint64_t block_size) {
    constexpr std::uint64_t link_length = dat::dat_link_word_length;
    const std::uint64_t blocks = (size + block_size - link_length - 1) / (block_size - link_length);
    return size + blocks * link_length;
}

void hold_chain(const dat::DatDatabase& database, const dat::DatFileEntry& entry,
                dat::ReadWindow& window) {
    const std::uint64_t block_size = database.header().block_size;
    constexpr std::uint64_t link_length = dat::dat_link_word_length;
    if (block_size <= link_length || entry.size == 0) {
        return;
    }
    const std::uint64_t run = chain_run_length(entry.size, block_size);
    const std::uint64_t length = database.file_length();
    if (run > ordered_read_span / 2 || entry.offset >= length ||
        window.holds(entry.offset, std::min(run, length - entry.offset))) {
        return;
    }
    // A chain behind the window or far ahead of it breaks the order: read on its own, it costs
    // what it holds, where a span read for it would mostly be thrown away by the next jump.
    if (window.end() != 0 &&
        (entry.offset < window.start() || entry.offset > window.end() + ordered_read_span)) {
        return;
    }
    const std::uint64_t start = entry.offset - std::min<std::uint64_t>(entry.offset, run);
    window.fill(database.source(), start, ordered_read_span);
}

std::expected<void, dat::DatError> read_stored(const dat::DatDatabase& database,
                                               const dat::DatFileEntry& entry,
                                               dat::ReadWindow& window,
                                               std::vector<std::uint8_t>& out) {
    hold_chain(database, entry, window);
    // As the library does, memory that runs out is the error of the read, not an exception.
    try {
        return dat::read_chain(
            {database.source(), database.header().block_size, database.file_length()}, entry.offset,
            entry.size, window, out);
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    out.clear();
    return std::unexpected{dat::DatError{dat::IoError::from_errno(ENOMEM)}};
}

}  // namespace tarnwick_tool
