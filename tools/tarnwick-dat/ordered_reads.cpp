#include "ordered_reads.hpp"

#include <algorithm>
#include <exception>
#include <numeric>
#include <system_error>
#include <thread>

#include "tarnwick_base/two_cores.hpp"

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
    return database.read_file_data(entry.offset, entry.size, window, out);
}

std::expected<void, dat::DatError> read_stored(const dat::DatDatabase& database,
                                               const dat::DatFileEntry& entry,
                                               dat::ReadWindow& window,
                                               std::span<std::uint8_t> out) {
    hold_chain(database, entry, window);
    return database.read_file_data(entry.offset, window, out.first(entry.size));
}

std::expected<void, dat::DatError> check_stored(const dat::DatDatabase& database,
                                                const dat::DatFileEntry& entry,
                                                dat::ReadWindow& window) {
    hold_chain(database, entry, window);
    return database.check_file_data(entry.offset, entry.size, window);
}

std::optional<std::size_t> halving_cut(std::size_t count,
                                       const std::function<std::uint64_t(std::size_t)>& size_at) {
    if (count < 2 || !tarnwick_base::may_use_two_cores()) {
        return std::nullopt;
    }
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < count; ++i) {
        total += size_at(i);
    }
    std::size_t cut = 0;
    for (std::uint64_t first = 0; cut + 1 < count && first * 2 < total; ++cut) {
        first += size_at(cut);
    }
    return std::max<std::size_t>(cut, 1);
}

void run_two_stretches(const std::function<void(std::size_t)>& stretch, std::atomic<bool>& stop) {
    std::exception_ptr second_failure;
    std::optional<std::thread> second;
    try {
        second.emplace([&] {
            try {
                stretch(1);
            } catch (...) {
                second_failure = std::current_exception();
                stop = true;
            }
        });
        tarnwick_base::keep_off_this_core(second->native_handle());
    } catch (const std::system_error&) {
        // No thread to be had: the second stretch follows the first here.
    }
    try {
        stretch(0);
    } catch (...) {
        stop = true;
        if (second) {
            second->join();
        }
        throw;
    }
    if (!second) {
        stretch(1);
        return;
    }
    second->join();
    if (second_failure) {
        std::rethrow_exception(second_failure);
    }
}

}  // namespace tarnwick_tool
