#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <variant>

#include "tarnwick_dat/io_error.hpp"
#include "tarnwick_dat/read_error.hpp"

namespace tarnwick_dat {

// The one error of the archive library. It owns its payload and is moved, never copied.
class TARNWICK_DAT_API DatError {
  public:
    struct Io {
        IoError error;
    };
    struct BinRead {
        ReadError error;
    };
    struct NotFound {
        std::uint32_t file_id;
    };
    struct DuplicateId {
        std::uint32_t file_id;
    };
    struct DuplicateNamespacedId {
        std::string name_space;
        std::uint32_t file_id;
    };
    struct InvalidMagic {
        std::string text;
    };
    struct UnsupportedVersion {
        std::uint32_t version;
    };
    struct InvalidNamespace {
        std::string text;
    };
    struct Corruption {
        std::string text;
    };
    struct DecompressionFailed {
        std::uint32_t file_id;
    };
    struct PathError {
        std::filesystem::path path;
        IoError source;
    };
    struct Other {
        std::string text;
    };
    using Kind = std::variant<Io, BinRead, NotFound, DuplicateId, DuplicateNamespacedId,
                              InvalidMagic, UnsupportedVersion, InvalidNamespace, Corruption,
                              DecompressionFailed, PathError, Other>;

    // The two conversions from lower-level failures.
    DatError(IoError error) : kind_{Io{std::move(error)}} {}         // NOLINT: implicit by design
    DatError(ReadError error) : kind_{BinRead{std::move(error)}} {}  // NOLINT: implicit by design
    // Every other kind is built by the operation that raises it.
    explicit DatError(Kind kind) : kind_{std::move(kind)} {}

    DatError(DatError&&) noexcept = default;
    DatError& operator=(DatError&&) noexcept = default;
    DatError(const DatError&) = delete;
    DatError& operator=(const DatError&) = delete;

    const Kind& kind() const { return kind_; }
    template <class K>
    bool is() const {
        return std::holds_alternative<K>(kind_);
    }

    std::string display() const;
    std::string debug() const;
    // One plain line for people and scripts: no escape sequences, no record-reading frames
    // beyond the innermost, control bytes escaped, ids as "0x" and eight upper-case digits.
    // `display` stays as it is: the check program prints it.
    std::string message() const;

  private:
    Kind kind_;
};

}  // namespace tarnwick_dat
