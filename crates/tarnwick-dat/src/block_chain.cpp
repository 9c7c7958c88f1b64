#include "tarnwick_dat/block_chain.hpp"

#include <algorithm>
#include <array>
#include <span>
#include <string>

#include "tarnwick_base/hex.hpp"
#include "tarnwick_base/little_endian.hpp"

namespace tarnwick_dat {

using tarnwick_base::hex_lower;

namespace {

// Refuses what no chain of this archive can hold, before the output is allocated.
std::expected<void, DatError> check_chain_request(const FileExtPolyfill& file,
                                                  std::uint32_t block_size, std::uint32_t offset,
                                                  std::uint32_t size) {
    if (block_size <= 4) {
        return std::unexpected{DatError{DatError::Corruption{
            "block size " + std::to_string(block_size) +
            " leaves no room for payload in the chain at offset 0x" + hex_lower(offset)}}};
    }
    auto length = file.length();
    if (!length) {
        return std::unexpected{DatError{length.error()}};
    }
    // Every byte gathered lies in the file, so a larger request ends in the read's own
    // end-of-data failure; it is given before allocating.
    if (size > *length) {
        return std::unexpected{DatError{IoError::fill_whole_buffer_eof()}};
    }
    return {};
}

}  // namespace

std::expected<std::vector<std::uint8_t>, DatError> read_file_data(const FileExtPolyfill& file,
                                                                  std::uint32_t block_size,
                                                                  std::uint32_t offset,
                                                                  std::uint32_t size) {
    if (size == 0) {
        return std::vector<std::uint8_t>{};
    }
    if (auto checked = check_chain_request(file, block_size, offset, size); !checked) {
        return std::unexpected{std::move(checked.error())};
    }
    std::vector<std::uint8_t> data(size);
    const std::uint32_t block_payload = block_size - 4;
    std::size_t filled = 0;
    std::uint64_t current = offset;
    while (filled < data.size()) {
        std::array<std::uint8_t, 4> link_bytes{};
        if (auto read = file.read_exact_at_compat(link_bytes, current); !read) {
            return std::unexpected{DatError{read.error()}};
        }
        const auto link = tarnwick_base::load_le<std::uint32_t>(link_bytes);
        const std::size_t remaining = data.size() - filled;
        const std::size_t take =
            link == 0 ? remaining : std::min<std::size_t>(remaining, block_payload);
        if (auto read =
                file.read_exact_at_compat(std::span{data}.subspan(filled, take), current + 4);
            !read) {
            return std::unexpected{DatError{read.error()}};
        }
        filled += take;
        current = link;
    }
    return data;
}

}  // namespace tarnwick_dat
