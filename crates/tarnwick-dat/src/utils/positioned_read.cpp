#include "tarnwick_dat/utils/positioned_read.hpp"

namespace tarnwick_dat {

std::expected<void, IoError> FileExtPolyfill::read_exact_at_compat(std::span<std::uint8_t> buffer,
                                                                   std::uint64_t offset) const {
    while (!buffer.empty()) {
        auto got = read_at(buffer, offset);
        if (!got) {
            if (got.error().kind() == IoErrorKind::Interrupted) {
                continue;
            }
            return std::unexpected{got.error()};
        }
        if (*got == 0) {
            break;
        }
        buffer = buffer.subspan(*got);
        offset += *got;
    }
    if (!buffer.empty()) {
        return std::unexpected{IoError::fill_whole_buffer_eof()};
    }
    return {};
}

}  // namespace tarnwick_dat
