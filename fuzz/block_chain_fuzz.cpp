// The fast chain read against the step-by-step one: the same bytes, or the same error with the
// same text, for whatever the file holds and wherever its links point. A few chains go through
// one window, as neighbouring files do, with the length known at open right or stale and reads
// that may come back short.
//
// The input: a 2-byte block size, a byte of choices, three (offset, size) pairs of 4-byte
// numbers, then the file's bytes.

#include <array>
#include <vector>

#include "fuzz_input.hpp"
#include "tarnwick_base/little_endian.hpp"
#include "tarnwick_dat/block_chain.hpp"
#include "tarnwick_dat/test_support/memory_file.hpp"
#include "tarnwick_dat/utils/read_window.hpp"

namespace {

using namespace tarnwick_dat;
using tarnwick_fuzz::Bytes;

constexpr std::size_t chain_count = 3;
constexpr std::size_t preamble_length = 2 + 1 + chain_count * 8;

struct Chain {
    std::uint32_t offset;
    std::uint32_t size;
};

struct Choices {
    std::uint32_t block_size;
    std::size_t window_span;
    std::size_t read_limit;  // 0: reads are not shortened
    int length_at_open;      // the true length, half of it, or more than it
    std::array<Chain, chain_count> chains;
};

template <typename T>
T number_at(Bytes input, std::size_t at) {
    return tarnwick_base::load_le<T>(input.subspan(at).first<sizeof(T)>());
}

Choices read_choices(Bytes preamble) {
    const std::uint8_t choice = preamble[2];
    Choices choices{};
    choices.block_size = number_at<std::uint16_t>(preamble, 0);
    choices.window_span =
        std::array<std::size_t, 4>{0, 37, 4096, ReadWindow::read_ahead_span}[choice & 3];
    choices.read_limit = std::array<std::size_t, 4>{0, 0, 1, 7}[(choice >> 2) & 3];
    choices.length_at_open = (choice >> 4) % 3;
    for (std::size_t i = 0; i < chain_count; ++i) {
        choices.chains[i] = {number_at<std::uint32_t>(preamble, 3 + i * 8),
                             number_at<std::uint32_t>(preamble, 7 + i * 8)};
    }
    return choices;
}

std::uint64_t length_at_open(const Choices& choices, std::uint64_t length) {
    switch (choices.length_at_open) {
        case 0:
            return length;
        case 1:
            return length / 2;
        default:
            return length + 100;
    }
}

void require_same(const std::expected<void, DatError>& fast,
                  const std::vector<std::uint8_t>& fast_bytes,
                  const std::expected<std::vector<std::uint8_t>, DatError>& exact) {
    tarnwick_fuzz::require(fast.has_value() == exact.has_value(),
                           "one read failed where the other did not");
    if (exact) {
        tarnwick_fuzz::require(fast_bytes == *exact, "the reads gave different bytes");
    } else {
        tarnwick_fuzz::require(fast.error().debug() == exact.error().debug(),
                               "the reads failed with different errors");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Bytes input{data, size};
    if (input.size() < preamble_length) {
        return 0;
    }
    const Choices choices = read_choices(input.first<preamble_length>());
    const Bytes contents = input.subspan(preamble_length);
    test_support::MemoryFile file{{contents.begin(), contents.end()}};
    if (choices.read_limit != 0) {
        file.limit_reads_to(choices.read_limit);
    }
    const ChainSource source{file, choices.block_size, length_at_open(choices, contents.size())};
    ReadWindow window{choices.window_span};
    std::vector<std::uint8_t> fast_bytes;
    for (const Chain& chain : choices.chains) {
        const auto fast = read_chain(source, chain.offset, chain.size, window, fast_bytes);
        const auto exact = read_file_data(file, choices.block_size, chain.offset, chain.size);
        require_same(fast, fast_bytes, exact);
    }
    return 0;
}
