#include "ordered_reads.hpp"

#include <algorithm>
#include <numeric>

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
    // The bytes of its blocks (one link word in each), the last one whole: a chain shuffled
    // within its blocks may end in any of them.
    const std::uint64_t extent = (run - entry.size) / link_length * block_size;
    const std::uint64_t length = database.file_length();
    if (extent > window.span() / 2 || entry.offset >= length ||
        window.holds(entry.offset, std::min(extent, length - entry.offset))) {
        return;
    }
    const std::uint64_t start = entry.offset - std::min<std::uint64_t>(entry.offset, run);
    window.fill(database.source(), start, static_cast<std::size_t>(entry.offset + extent - start));
}

std::expected<void, dat::DatError> read_stored(const dat::DatDatabase& database,
                                               const dat::DatFileEntry& entry,
                                               dat::ReadWindow& window,
                                               std::vector<std::uint8_t>& out) {
    hold_chain(database, entry, window);
    return read_stored_chain(database, entry, window, out);
}

std::expected<void, dat::DatError> read_stored(const dat::DatDatabase& database,
                                               const dat::DatFileEntry& entry,
                                               dat::ReadWindow& window,
                                               std::span<std::uint8_t> out) {
    hold_chain(database, entry, window);
    return read_stored_chain(database, entry, window, out);
}

}  // namespace tarnwick_tool
