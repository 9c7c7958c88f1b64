#include "tarnwick_dat/utils/archive_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick_dat {

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

}  // namespace tarnwick_dat
