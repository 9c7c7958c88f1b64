#include "ordered_reads.hpp"

#include <algorithm>
#include <cerrno>
#include <exception>
#include <new>
#include <numeric>
#include <stdexcept>
#include <system_error>
#include <thread>

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

std::optional<std::size_t> halving_cut(std::size_t count,
                                       const std::function<std::uint64_t(std::size_t)>& size_at) {
    if (count < 2 || std::thread::hardware_concurrency() < 2) {
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
