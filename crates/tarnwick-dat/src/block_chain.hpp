#pragma once

#include <cstdint>
#include <expected>
#include <vector>

#include "tarnwick_dat/error.hpp"
#include "tarnwick_dat/utils.hpp"

namespace tarnwick_dat {

// Gathers `size` payload bytes from the block chain starting at `offset`. Each block is a
// 4-byte link to the next block (0 for the last) followed by `block_size - 4` payload bytes;
// the last block's payload runs on as far as the remaining size needs.
std::expected<std::vector<std::uint8_t>, DatError> read_file_data(const FileExtPolyfill& file,
                                                                  std::uint32_t block_size,
                                                                  std::uint32_t offset,
                                                                  std::uint32_t size);

}  // namespace tarnwick_dat
