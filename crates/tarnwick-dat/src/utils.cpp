#include "utils.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <system_error>

#include "text.hpp"

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

std::expected<ArchiveFile, IoError> ArchiveFile::open_read_only(const std::filesystem::path& path) {
    // Opening a FIFO or a device may wait for a peer without end; open without waiting, then
    // read as usual, so that such a file fails at its first read instead of hanging.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return std::unexpected{IoError::from_last_errno()};
    }
    ArchiveFile file{fd};
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) {
        return std::unexpected{IoError::from_last_errno()};
    }
    return file;
}

ArchiveFile::ArchiveFile(ArchiveFile&& other) noexcept : fd_{other.fd_} {
    other.fd_ = -1;
}

ArchiveFile& ArchiveFile::operator=(ArchiveFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

ArchiveFile::~ArchiveFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

std::expected<std::size_t, IoError> ArchiveFile::read_at(std::span<std::uint8_t> buffer,
                                                         std::uint64_t offset) const {
    const ssize_t got = ::pread(fd_, buffer.data(), buffer.size(), static_cast<off_t>(offset));
    if (got < 0) {
        return std::unexpected{IoError::from_last_errno()};
    }
    return static_cast<std::size_t>(got);
}

std::expected<std::uint64_t, IoError> ArchiveFile::length() const {
    struct stat status {};
    if (::fstat(fd_, &status) != 0) {
        return std::unexpected{IoError::from_last_errno()};
    }
    return static_cast<std::uint64_t>(status.st_size);
}

std::vector<std::uint8_t> decompress_lrs(std::span<const std::uint8_t> input) {
    if (input.size() < 4) {
        return {input.begin(), input.end()};
    }
    const std::size_t output_size =
        static_cast<std::size_t>(input[0]) | static_cast<std::size_t>(input[1]) << 8 |
        static_cast<std::size_t>(input[2]) << 16 | static_cast<std::size_t>(input[3]) << 24;
    const std::span<const std::uint8_t> data = input.subspan(4);

    // A two-byte back-reference yields at most 17 bytes, so a declared size beyond that bound
    // cannot be reached and is not reserved.
    constexpr std::size_t max_reference_length = 17;
    std::vector<std::uint8_t> output;
    output.reserve(std::min(output_size, data.size() / 2 * max_reference_length));

    std::uint8_t control_byte = 0;
    std::uint8_t control_bit = 0;
    std::size_t input_idx = 0;
    while (output.size() < output_size && input_idx < data.size()) {
        if (control_bit == 0) {
            control_byte = data[input_idx++];
            control_bit = 0x80;
        }
        if ((control_byte & control_bit) != 0) {
            if (input_idx + 1 >= data.size()) {
                break;
            }
            const std::uint8_t b1 = data[input_idx];
            const std::uint8_t b2 = data[input_idx + 1];
            input_idx += 2;
            const std::size_t offset = b1 | static_cast<std::size_t>(b2 & 0xF0) << 4;
            const std::size_t length = static_cast<std::size_t>(b2 & 0x0F) + 2;
            // A reference with nothing produced yet has no byte to copy: the stream is malformed.
            if (offset == 0 || output.empty()) {
                break;
            }
            for (std::size_t i = 0; i < length && output.size() < output_size; ++i) {
                const std::size_t copy_idx = offset > output.size() ? 0 : output.size() - offset;
                output.push_back(output[copy_idx]);
            }
        } else {
            if (input_idx >= data.size()) {
                break;
            }
            output.push_back(data[input_idx++]);
        }
        control_bit >>= 1;
    }
    return output;
}

namespace {

bool path_exists(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::exists(path, error) && !error;
}

}  // namespace

std::filesystem::path default_portal_dat_path() {
    return std::filesystem::path{TARNWICK_DAT_SOURCE_DIR} / "../../" / "dats/portal.dat";
}

std::optional<std::filesystem::path> get_portal_dat_path(
    const std::filesystem::path& default_path) {
    if (const char* value = std::getenv("TARNWICK_PORTAL_DAT")) {
        const std::string_view text{value};
        if (utf8_lossy(text) == text && path_exists(text)) {
            return std::filesystem::path{text};
        }
    }
    if (path_exists(default_path)) {
        return default_path;
    }
    return std::nullopt;
}

std::optional<std::filesystem::path> get_portal_dat_path() {
    return get_portal_dat_path(default_portal_dat_path());
}

}  // namespace tarnwick_dat
