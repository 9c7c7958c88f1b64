#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

#include "io_error.hpp"

namespace tarnwick_dat {

// Reading at an absolute offset of a file without using or moving its position, so reads may
// interleave freely. Implementations give the single system read; the loop around it is shared.
class FileExtPolyfill {
  public:
    virtual ~FileExtPolyfill() = default;

    // One positioned read of up to `buffer.size()` bytes: the count read (0 at the end of the
    // file) or the system's error, an interruption included.
    virtual std::expected<std::size_t, IoError> read_at(std::span<std::uint8_t> buffer,
                                                        std::uint64_t offset) const = 0;
    // The file's current length in bytes.
    virtual std::expected<std::uint64_t, IoError> length() const = 0;

    // Fills the whole buffer from `offset`, retrying interrupted reads. At the end of the file it
    // fails with "failed to fill whole buffer"; bytes already read stay in the buffer.
    std::expected<void, IoError> read_exact_at_compat(std::span<std::uint8_t> buffer,
                                                      std::uint64_t offset) const;
};

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

// Expands a compressed file's stored bytes: a 4-byte little-endian output size, then groups of a
// control byte (most significant bit first; 0 = literal byte, 1 = two-byte back-reference with a
// 12-bit distance and a length of 2 to 17). Never fails: malformed input gives a shorter result.
std::vector<std::uint8_t> decompress_lrs(std::span<const std::uint8_t> input);

// The retail portal archive: TARNWICK_PORTAL_DAT if it names an existing path, else the
// build-time default if it exists, else nothing.
std::optional<std::filesystem::path> get_portal_dat_path();
// The same search with the default location given, so the search can be exercised anywhere.
std::optional<std::filesystem::path> get_portal_dat_path(const std::filesystem::path& default_path);
// `<library source directory>/../../dats/portal.dat`, joined but not normalised.
std::filesystem::path default_portal_dat_path();

}  // namespace tarnwick_dat
