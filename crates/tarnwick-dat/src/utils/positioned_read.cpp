#include "tarnwick_dat/utils/positioned_read.hpp"

#include "tarnwick_base/expected.hpp"
#include "tarnwick_dat/utils/read_loop.hpp"

namespace tarnwick_dat {

std::expected<void, IoError> FileExtPolyfill::read_exact_at_compat(std::span<std::uint8_t> buffer,
                                                                   std::uint64_t offset) const {
    auto filled = fill_by_reads(buffer, [&](std::span<std::uint8_t> rest) {
        return read_at(rest, offset + (buffer.size() - rest.size()));
    });
    if (!filled) {
        return tarnwick_base::take_error(filled);
    }
    if (*filled < buffer.size()) {
        return std::unexpected{IoError::fill_whole_buffer_eof()};
    }
    return {};
}

}  // namespace tarnwick_dat
