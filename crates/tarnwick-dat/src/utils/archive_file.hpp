#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <span>

#include "tarnwick_dat/io_error.hpp"
#include "tarnwick_dat/utils/positioned_read.hpp"

namespace tarnwick_dat {

// An archive file opened read-only; closed when released.
class ArchiveFile final : public FileExtPolyfill {
  public:
    static std::expected<ArchiveFile, IoError> open_read_only(const std::filesystem::path& path);

    ArchiveFile(ArchiveFile&& other) noexcept;
    ArchiveFile& operator=(ArchiveFile&& other) noexcept;
    ArchiveFile(const ArchiveFile&) = delete;
    ArchiveFile& operator=(const ArchiveFile&) = delete;
    ~ArchiveFile() override;

    int fd() const { return fd_; }

    std::expected<std::size_t, IoError> read_at(std::span<std::uint8_t> buffer,
                                                std::uint64_t offset) const override;
    std::expected<std::uint64_t, IoError> length() const override;

  private:
    explicit ArchiveFile(int fd) : fd_{fd} {}
    int fd_ = -1;
};

}  // namespace tarnwick_dat
