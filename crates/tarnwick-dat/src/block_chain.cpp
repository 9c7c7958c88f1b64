#include "tarnwick_dat/block_chain.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>
#include <string>

#include "tarnwick_base/expected.hpp"
#include "tarnwick_base/hex.hpp"
#include "tarnwick_base/little_endian.hpp"

namespace tarnwick_dat {

using tarnwick_base::hex_lower;

namespace {

constexpr auto link_length = static_cast<std::uint32_t>(dat_link_word_length);
// Bounds one read of a long contiguous chain; the next run is read when the walk gets there.
constexpr std::uint64_t max_run_read = std::uint64_t{1} << 20;

std::expected<void, DatError> check_block_size(std::uint32_t block_size, std::uint32_t offset) {
    if (block_size <= link_length) {
        return std::unexpected{DatError{DatError::Corruption{
            "block size " + std::to_string(block_size) +
            " leaves no room for payload in the chain at offset 0x" + hex_lower(offset)}}};
    }
    return {};
}

// Every byte gathered lies in the file, so a larger request ends in the read's own end-of-data
// failure; it is given before allocating.
std::expected<void, DatError> check_fits(const FileExtPolyfill& file, std::uint32_t size) {
    auto length = file.length();
    if (!length) {
        return tarnwick_base::take_error(length);
    }
    if (size > *length) {
        return std::unexpected{DatError{IoError::fill_whole_buffer_eof()}};
    }
    return {};
}

std::uint32_t load_link(const std::uint8_t* bytes) {
    return tarnwick_base::load_le<std::uint32_t>(
        std::span<const std::uint8_t, link_length>{bytes, link_length});
}

// The rest of a chain from the block at `current`, `filled` bytes of `data` gathered: one read
// for each link word, one for each payload. Gives the furthest end of the bytes it read.
std::expected<std::uint64_t, DatError> read_step_by_step(const FileExtPolyfill& file,
                                                         std::uint32_t block_size,
                                                         std::span<std::uint8_t> data,
                                                         std::size_t filled,
                                                         std::uint64_t current) {
    const std::uint32_t block_payload = block_size - link_length;
    std::uint64_t reached = 0;
    while (filled < data.size()) {
        std::array<std::uint8_t, link_length> link_bytes{};
        TARNWICK_TRY(file.read_exact_at_compat(link_bytes, current));
        const std::uint32_t link = load_link(link_bytes.data());
        const std::size_t remaining = data.size() - filled;
        const std::size_t take =
            link == 0 ? remaining : std::min<std::size_t>(remaining, block_payload);
        TARNWICK_TRY(file.read_exact_at_compat(data.subspan(filled, take), current + link_length));
        reached = std::max(reached, current + link_length + take);
        filled += take;
        current = link;
    }
    return reached;
}

// The bytes from `offset` that `remaining` payload bytes take if their blocks lie one after
// another: every block's link word and payload, the last block's payload cut at what is left.
std::uint64_t run_length(std::uint64_t remaining, std::uint32_t block_payload) {
    const std::uint64_t blocks = (remaining + block_payload - 1) / block_payload;
    return remaining + blocks * link_length;
}

// Gathers what it can of the chain from `window`, into `out`: the blocks that `size` bytes need
// are read into the window at once from the chain's first block and their links followed in
// memory. Gives the block at which a step-by-step read must go on if `out` is not yet full,
// and raises `reached` to the furthest end of the bytes taken.
//
// Only the chain's first block, and a run of contiguous blocks going on past the bytes read,
// fill the window afresh; any other link that leaves the window stops here, so that a
// scattered chain costs no more reads than step by step and no chain makes the window read
// far more than it needs.
template <class Out>
std::uint64_t gather_from_window(const ChainSource& source, std::uint32_t offset,
                                 std::uint32_t size, ReadWindow& window, Out& out,
                                 std::uint64_t& reached) {
    const std::uint32_t block_payload = source.block_size - link_length;
    std::uint64_t current = offset;
    bool one_run = true;  // every link so far to the block right after its own
    while (out.size() < size) {
        const std::size_t remaining = size - out.size();
        // A block's link word and, if it links on, its payload.
        const std::uint64_t block_need =
            link_length + std::min<std::size_t>(remaining, block_payload);
        if (!window.holds(current, block_need)) {
            if (out.size() != 0 && !(one_run && window.complete())) {
                break;
            }
            window.fill(source.file, current,
                        std::min(run_length(remaining, block_payload), max_run_read));
            if (!window.holds(current, block_need)) {
                break;
            }
        }
        const std::uint32_t link = load_link(window.at(current));
        const std::size_t take =
            link == 0 ? remaining : std::min<std::size_t>(remaining, block_payload);
        if (!window.holds(current + link_length, take)) {
            break;  // a last block that reads on past the bytes read
        }
        out.append(window.at(current + link_length), take);
        reached = std::max(reached, current + link_length + take);
        one_run = one_run && link == current + source.block_size;
        current = link;
    }
    return current;
}

}  // namespace

std::expected<std::vector<std::uint8_t>, DatError> read_file_data(const FileExtPolyfill& file,
                                                                  std::uint32_t block_size,
                                                                  std::uint32_t offset,
                                                                  std::uint32_t size) {
    if (size == 0) {
        return std::vector<std::uint8_t>{};
    }
    TARNWICK_TRY(check_block_size(block_size, offset));
    TARNWICK_TRY(check_fits(file, size));
    std::vector<std::uint8_t> data(size);
    TARNWICK_TRY(read_step_by_step(file, block_size, data, 0, offset));
    return data;
}

namespace {

// Where `read_chain` gathers: a vector grown as the bytes come, so that nothing is written twice.
struct GrownBytes {
    std::vector<std::uint8_t>& bytes;
    void expect(std::size_t size) { bytes.reserve(size); }
    std::size_t size() const { return bytes.size(); }
    void append(const std::uint8_t* from, std::size_t length) {
        bytes.insert(bytes.end(), from, from + length);
    }
    std::span<std::uint8_t> all(std::size_t size) {
        bytes.resize(size);
        return bytes;
    }
};

// Where `read_chain` gathers: the caller's room for all of them.
struct GivenRoom {
    std::span<std::uint8_t> room;
    std::size_t filled = 0;
    void expect(std::size_t /*size*/) const {}
    std::size_t size() const { return filled; }
    void append(const std::uint8_t* from, std::size_t length) {
        std::memcpy(room.data() + filled, from, length);
        filled += length;
    }
    std::span<std::uint8_t> all(std::size_t /*size*/) const { return room; }
};

// Where `check_chain` gathers: nothing is copied out of the window; bytes that must be read step
// by step go to a buffer of their own, let go at the end.
struct LetGo {
    std::size_t taken = 0;
    std::vector<std::uint8_t> rest;
    void expect(std::size_t /*size*/) const {}
    std::size_t size() const { return taken; }
    void append(const std::uint8_t* /*from*/, std::size_t length) { taken += length; }
    std::span<std::uint8_t> all(std::size_t size) {
        rest.resize(size);
        return rest;
    }
};

template <class Out>
std::expected<void, DatError> gather_chain(const ChainSource& source, std::uint32_t offset,
                                           std::uint32_t size, ReadWindow& window, Out& out) {
    if (size == 0) {
        return {};
    }
    TARNWICK_TRY(check_block_size(source.block_size, offset));
    if (size > source.file_length) {
        // The file may have grown since it was opened.
        TARNWICK_TRY(check_fits(source.file, size));
    }
    out.expect(size);
    std::uint64_t reached = 0;
    const std::uint64_t current = gather_from_window(source, offset, size, window, out, reached);
    if (out.size() < size) {
        const std::size_t filled = out.size();
        auto rest =
            read_step_by_step(source.file, source.block_size, out.all(size), filled, current);
        if (!rest) {
            return tarnwick_base::take_error(rest);
        }
        reached = std::max(reached, *rest);
    }
    // Step by step a size beyond the file's length is refused before anything is read. Only a
    // chain that reads some bytes twice gathers more than the file showed it, and then the
    // file's length decides as it would have.
    if (size > reached) {
        TARNWICK_TRY(check_fits(source.file, size));
    }
    return {};
}

}  // namespace

std::expected<void, DatError> read_chain(const ChainSource& source, std::uint32_t offset,
                                         std::uint32_t size, ReadWindow& window,
                                         std::vector<std::uint8_t>& out) {
    out.clear();
    GrownBytes grown{out};
    auto read = gather_chain(source, offset, size, window, grown);
    if (!read) {
        out.clear();
    }
    return read;
}

std::expected<void, DatError> read_chain(const ChainSource& source, std::uint32_t offset,
                                         ReadWindow& window, std::span<std::uint8_t> out) {
    GivenRoom room{out};
    return gather_chain(source, offset, static_cast<std::uint32_t>(out.size()), window, room);
}

std::expected<void, DatError> check_chain(const ChainSource& source, std::uint32_t offset,
                                          std::uint32_t size, ReadWindow& window) {
    LetGo let_go;
    return gather_chain(source, offset, size, window, let_go);
}

}  // namespace tarnwick_dat
