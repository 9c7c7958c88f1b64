#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "tarnwick_base/expected.hpp"
#include "tarnwick_dat/io_error.hpp"
#include "tarnwick_dat/read_error.hpp"
#include "tarnwick_dat/utils/positioned_read.hpp"

namespace tarnwick_dat {

enum class Endian { Little, Big };

// A seekable source of bytes that records are decoded from.
class TARNWICK_DAT_API Reader {
  public:
    virtual ~Reader() = default;
    // Up to `out.size()` bytes; 0 only at the end of data.
    virtual std::expected<std::size_t, IoError> read_some(std::span<std::uint8_t> out) = 0;
    virtual std::expected<std::uint64_t, IoError> position() = 0;
    virtual std::expected<void, IoError> seek(std::uint64_t position) = 0;
    // Fills `out` unless the data ends first; gives the number of bytes placed. Interrupted
    // reads are retried.
    virtual std::expected<std::size_t, IoError> read_up_to(std::span<std::uint8_t> out);
};

// Reads from bytes held in memory; it does not own them.
class TARNWICK_DAT_API ByteReader final : public Reader {
  public:
    explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_{bytes} {}
    std::expected<std::size_t, IoError> read_some(std::span<std::uint8_t> out) override;
    std::expected<std::uint64_t, IoError> position() override { return position_; }
    std::expected<void, IoError> seek(std::uint64_t position) override;
    // Memory never delivers less than it holds, so one copy fills what it can.
    std::expected<std::size_t, IoError> read_up_to(std::span<std::uint8_t> out) override {
        return read_some(out);
    }
    // The bytes from the position on, for decoding in place; none past the end.
    std::span<const std::uint8_t> unread() const {
        return position_ >= bytes_.size() ? std::span<const std::uint8_t>{}
                                          : bytes_.subspan(static_cast<std::size_t>(position_));
    }

  private:
    std::span<const std::uint8_t> bytes_;
    std::uint64_t position_ = 0;
};

// Reads through an open file descriptor's own position; it does not own the descriptor.
class TARNWICK_DAT_API FileReader final : public Reader {
  public:
    explicit FileReader(int fd) : fd_{fd} {}
    std::expected<std::size_t, IoError> read_some(std::span<std::uint8_t> out) override;
    std::expected<std::uint64_t, IoError> position() override;
    std::expected<void, IoError> seek(std::uint64_t position) override;

  private:
    int fd_;
};

// Reads through positioned reads at a position of its own; it does not own the file.
class TARNWICK_DAT_API PositionedReader final : public Reader {
  public:
    explicit PositionedReader(const FileExtPolyfill& file) : file_{file} {}
    std::expected<std::size_t, IoError> read_some(std::span<std::uint8_t> out) override;
    std::expected<std::uint64_t, IoError> position() override { return position_; }
    std::expected<void, IoError> seek(std::uint64_t position) override;

  private:
    const FileExtPolyfill& file_;
    std::uint64_t position_ = 0;
};

// A field as declared in a record type: the names and source line its failure frame reports.
struct FieldSite {
    std::string_view record;
    std::string_view field;
    std::string_view file;
    std::uint32_t line;
};

// Declares the record name that the field sites below it report.
#define TARNWICK_RECORD(type_name) static constexpr std::string_view record_name = #type_name
// Declares the site of a field that is read but not kept (a count).
#define TARNWICK_FIELD_SITE(field_name)                                          \
    static constexpr ::tarnwick_dat::FieldSite field_name##_site {               \
        record_name, #field_name, __FILE__, static_cast<std::uint32_t>(__LINE__) \
    }
// Declares a kept field together with its site.
#define TARNWICK_FIELD(field_type, field_name) \
    field_type field_name{};                   \
    TARNWICK_FIELD_SITE(field_name)

// Hands `error` on after moving the reader back to `start`; a failing move wraps the first error.
TARNWICK_DAT_API ReadError rewind_after(Reader& reader, std::uint64_t start, ReadError error);

// Numbers read on their own; a failure leaves the reader on the number's first byte.
TARNWICK_DAT_API std::expected<std::uint16_t, ReadError> read_u16(Reader& reader);
TARNWICK_DAT_API std::expected<std::uint32_t, ReadError> read_u32(Reader& reader);
// A number read as a record's field: the record, not the number, moves the reader back.
TARNWICK_DAT_API std::expected<std::uint32_t, ReadError> read_u32_field(Reader& reader);

// Exactly `count` raw bytes, or "not enough bytes in reader".
TARNWICK_DAT_API std::expected<std::vector<std::uint8_t>, ReadError> read_byte_list(
    Reader& reader, std::size_t count);

// `count` little-endian numbers, read in growing chunks so a corrupt count cannot reserve far
// more than the data holds.
TARNWICK_DAT_API std::expected<std::vector<std::uint32_t>, ReadError> read_u32_list(
    Reader& reader, std::size_t count);

// `count` records, element by element, stopping at the first that fails.
template <class Record, class Allocator = std::allocator<Record>>
std::expected<std::vector<Record, Allocator>, ReadError> read_record_list(Reader& reader,
                                                                          std::size_t count) {
    std::vector<Record, Allocator> records;
    for (std::size_t i = 0; i < count; ++i) {
        auto record = Record::read(reader);
        if (!record) {
            return tarnwick_base::take_error(record);
        }
        records.push_back(std::move(*record));
    }
    return records;
}

// Decodes one record field by field. The first failing field gets its frame, the reader goes
// back to the record's first byte, and every later field is skipped; `finish` reports the result.
class TARNWICK_DAT_API RecordReader {
  public:
    explicit RecordReader(Reader& reader);

    void u32(std::uint32_t& out, const FieldSite& site) { field(out, site, read_u32_field); }
    void bytes(std::vector<std::uint8_t>& out, std::size_t count, const FieldSite& site) {
        field(out, site, [count](Reader& r) { return read_byte_list(r, count); });
    }
    template <class Record, class Allocator>
    void records(std::vector<Record, Allocator>& out, std::size_t count, const FieldSite& site) {
        field(out, site,
              [count](Reader& r) { return read_record_list<Record, Allocator>(r, count); });
    }

    template <class T>
    std::expected<T, ReadError> finish(T value) {
        if (error_) {
            return std::unexpected{std::move(*error_)};
        }
        return value;
    }

  private:
    template <class T, class Read>
    void field(T& out, const FieldSite& site, Read&& read) {
        if (error_) {
            return;
        }
        auto value = read(reader_);
        if (value) {
            out = std::move(*value);
        } else {
            fail(std::move(value.error()), site);
        }
    }
    void fail(ReadError error, const FieldSite& site);

    Reader& reader_;
    std::uint64_t start_ = 0;
    std::optional<ReadError> error_;
};

}  // namespace tarnwick_dat
