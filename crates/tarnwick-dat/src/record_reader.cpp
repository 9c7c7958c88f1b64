#include "tarnwick_dat/record_reader.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "tarnwick_base/expected.hpp"
#include "tarnwick_base/little_endian.hpp"
#include "tarnwick_dat/record_failure.hpp"
#include "tarnwick_dat/utils/read_loop.hpp"

namespace tarnwick_dat {
namespace {

ReadError end_of_data(std::string_view text) {
    return ReadError::io(IoError::with_message(IoErrorKind::UnexpectedEof, text));
}

}  // namespace

ReadError number_cut_short() {
    return end_of_data("failed to fill whole buffer");
}

ReadFrame field_frame(const FieldSite& site) {
    std::string message = "While parsing field '";
    message.append(site.field).append("' in ").append(site.record);
    return {std::move(message), SourceSite{site.file, site.line}};
}

std::expected<std::size_t, IoError> Reader::read_up_to(std::span<std::uint8_t> out) {
    return fill_by_reads(out, [this](std::span<std::uint8_t> rest) { return read_some(rest); });
}

namespace {

template <class Number>
std::expected<Number, ReadError> read_number_in_place(Reader& reader) {
    std::uint8_t raw[sizeof(Number)];
    auto got = reader.read_up_to(raw);
    if (!got) {
        return std::unexpected{ReadError::io(got.error())};
    }
    if (*got < sizeof raw) {
        return std::unexpected{number_cut_short()};
    }
    return tarnwick_base::load_le<Number>(raw);
}

template <class Number>
std::expected<Number, ReadError> read_number(Reader& reader) {
    auto start = reader.position();
    if (!start) {
        return std::unexpected{ReadError::io(start.error())};
    }
    auto value = read_number_in_place<Number>(reader);
    if (!value) {
        return std::unexpected{rewind_after(reader, *start, std::move(value.error()))};
    }
    return value;
}

}  // namespace

std::expected<std::size_t, IoError> ByteReader::read_some(std::span<std::uint8_t> out) {
    if (position_ >= bytes_.size()) {
        return 0;
    }
    const std::size_t count = std::min<std::uint64_t>(out.size(), bytes_.size() - position_);
    std::memcpy(out.data(), bytes_.data() + position_, count);
    position_ += count;
    return count;
}

std::expected<void, IoError> ByteReader::seek(std::uint64_t position) {
    position_ = position;
    return {};
}

std::expected<std::size_t, IoError> FileReader::read_some(std::span<std::uint8_t> out) {
    const ssize_t got = ::read(fd_, out.data(), out.size());
    if (got < 0) {
        return std::unexpected{IoError::from_last_errno()};
    }
    return static_cast<std::size_t>(got);
}

std::expected<std::uint64_t, IoError> FileReader::position() {
    const off_t at = ::lseek(fd_, 0, SEEK_CUR);
    if (at < 0) {
        return std::unexpected{IoError::from_last_errno()};
    }
    return static_cast<std::uint64_t>(at);
}

std::expected<void, IoError> FileReader::seek(std::uint64_t position) {
    if (::lseek(fd_, static_cast<off_t>(position), SEEK_SET) < 0) {
        return std::unexpected{IoError::from_last_errno()};
    }
    return {};
}

std::expected<std::size_t, IoError> PositionedReader::read_some(std::span<std::uint8_t> out) {
    auto got = file_.read_at(out, position_);
    if (got) {
        position_ += *got;
    }
    return got;
}

std::expected<void, IoError> PositionedReader::seek(std::uint64_t position) {
    position_ = position;
    return {};
}

ReadError rewind_after(Reader& reader, std::uint64_t start, ReadError error) {
    auto moved = reader.seek(start);
    if (moved) {
        return error;
    }
    ReadError wrapped = ReadError::io(moved.error());
    wrapped.push_frame({"rewinding after a failure", std::nullopt});
    wrapped.push_frame({error.cause_text(), std::nullopt});
    for (const ReadFrame& frame : error.frames()) {
        wrapped.push_frame(frame);
    }
    return wrapped;
}

std::expected<std::uint16_t, ReadError> read_u16(Reader& reader) {
    return read_number<std::uint16_t>(reader);
}

std::expected<std::uint32_t, ReadError> read_u32(Reader& reader) {
    return read_number<std::uint32_t>(reader);
}

std::expected<std::uint32_t, ReadError> read_u32_field(Reader& reader) {
    return read_number_in_place<std::uint32_t>(reader);
}

std::expected<std::vector<std::uint8_t>, ReadError> read_byte_list(Reader& reader,
                                                                   std::size_t count) {
    // Reserved in full as the stored length says, but never more than a sane bound up front.
    constexpr std::size_t max_reserve = std::size_t{1} << 20;
    std::vector<std::uint8_t> bytes;
    bytes.reserve(std::min(count, max_reserve));
    std::uint8_t chunk[4096];
    while (bytes.size() < count) {
        const std::size_t want = std::min(sizeof chunk, count - bytes.size());
        auto got = reader.read_up_to(std::span{chunk, want});
        if (!got) {
            return std::unexpected{ReadError::io(got.error())};
        }
        bytes.insert(bytes.end(), chunk, chunk + *got);
        if (*got < want) {
            return std::unexpected{end_of_data("not enough bytes in reader")};
        }
    }
    return bytes;
}

std::expected<std::vector<std::uint32_t>, ReadError> read_u32_list(Reader& reader,
                                                                   std::size_t count) {
    constexpr std::size_t chunk_elements = 32 / sizeof(std::uint32_t);
    std::vector<std::uint32_t> values;
    while (values.size() < count) {
        const std::size_t remaining = count - values.size();
        // Geometric growth, bounded by the stored count.
        values.reserve(std::min(count, std::max(values.size() + std::min(remaining, chunk_elements),
                                                values.capacity() * 2)));
        const std::size_t take = std::min(remaining, values.capacity() - values.size());
        const std::size_t old_size = values.size();
        values.resize(old_size + take);
        auto bytes = std::as_writable_bytes(std::span{values}.subspan(old_size));
        auto got = reader.read_up_to(
            std::span{reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size()});
        if (!got) {
            return std::unexpected{ReadError::io(got.error())};
        }
        if (*got < bytes.size()) {
            return std::unexpected{number_cut_short()};
        }
        for (std::size_t i = old_size; i < values.size(); ++i) {
            values[i] = tarnwick_base::from_le(values[i]);
        }
    }
    return values;
}

RecordReader::RecordReader(Reader& reader) : reader_{reader} {
    auto start = reader.position();
    if (start) {
        start_ = *start;
    } else {
        error_.emplace(ReadError::io(start.error()));
    }
}

void RecordReader::fail(ReadError error, const FieldSite& site) {
    error.push_frame(field_frame(site));
    error_.emplace(rewind_after(reader_, start_, std::move(error)));
}

}  // namespace tarnwick_dat
