#pragma once

#include <cstdint>
#include <expected>
#include <span>
#include <vector>

#include "tarnwick_dat/error.hpp"
#include "tarnwick_dat/layout.hpp"
#include "tarnwick_dat/utils.hpp"
#include "tarnwick_dat/utils/read_window.hpp"

namespace tarnwick_dat {

// Gathers `size` payload bytes from the block chain starting at `offset`. Each block is a
// 4-byte link to the next block (0 for the last) followed by `block_size - 4` payload bytes;
// the last block's payload runs on as far as the remaining size needs.
//
// Step by step: one read for each link word and one for each payload. `read_chain` gives the
// same bytes and the same error with fewer reads; this one is what it is held to.
std::expected<std::vector<std::uint8_t>, DatError> read_file_data(const FileExtPolyfill& file,
                                                                  std::uint32_t block_size,
                                                                  std::uint32_t offset,
                                                                  std::uint32_t size);

// What chains are read from: the archive file, its header's block size, and the file's length
// when the archive was opened.
struct ChainSource {
    const FileExtPolyfill& file;
    std::uint32_t block_size;
    std::uint64_t file_length;
};

// The bytes and the error of `read_file_data`, into `out`, with one read for a run of
// contiguous blocks: the blocks that `size` bytes need are read at once from the chain's first
// block, through `window`, and their links followed in memory. Where a link leaves the bytes
// read, or a read comes back short, the rest of the chain is read step by step. A size beyond
// the length known at open asks the file for its length again before it is refused.
std::expected<void, DatError> read_chain(const ChainSource& source, std::uint32_t offset,
                                         std::uint32_t size, ReadWindow& window,
                                         std::vector<std::uint8_t>& out);
// The same into the caller's `out`, as many bytes as it holds (a chain's size, below 4 GiB), for
// bytes that go straight where they are wanted; after an error its bytes are unspecified.
std::expected<void, DatError> read_chain(const ChainSource& source, std::uint32_t offset,
                                         ReadWindow& window, std::span<std::uint8_t> out);
// The reads and the error of `read_chain`, keeping none of the bytes: whether a chain of `size`
// bytes reads whole, when its bytes are not wanted.
std::expected<void, DatError> check_chain(const ChainSource& source, std::uint32_t offset,
                                          std::uint32_t size, ReadWindow& window);

}  // namespace tarnwick_dat
