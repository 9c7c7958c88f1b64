#include "runner/terminal/terminfo_parser.hpp"

#include "tarnwick_base/expected.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>

namespace runner {
namespace {

constexpr std::uint16_t MAGIC_16BIT = 0x11A;
constexpr std::uint16_t MAGIC_32BIT = 0x21E;

// Capability positions in the compiled tables; only the ones the runner uses are named.
struct CapName {
    std::size_t index;
    std::string_view name;
};
constexpr CapName NUMBER_NAMES[] = {{13, "colors"}};
constexpr CapName STRING_NAMES[] = {{27, "bold"}, {39, "sgr0"},   {131, "sgr"},
                                    {297, "op"},  {359, "setaf"}, {360, "setab"}};

std::optional<std::string_view> name_at(std::span<const CapName> table, std::size_t index) {
    for (const CapName& entry : table) {
        if (entry.index == index) {
            return entry.name;
        }
    }
    return std::nullopt;
}

std::unexpected<std::string> incompatible(std::string_view what) {
    std::string text = "incompatible file: ";
    text.append(what);
    return std::unexpected{std::move(text)};
}

// Bounds-checked little-endian reading; every failure means the file is shorter than it claims.
class Cursor {
  public:
    explicit Cursor(std::string_view bytes) : bytes_{bytes} {}

    std::optional<std::string_view> take(std::size_t count) {
        if (count > bytes_.size() - pos_) {
            return std::nullopt;
        }
        std::string_view piece = bytes_.substr(pos_, count);
        pos_ += count;
        return piece;
    }
    std::optional<std::int32_t> i16() {
        auto piece = take(2);
        if (!piece) {
            return std::nullopt;
        }
        auto raw = static_cast<std::uint16_t>(byte(*piece, 0) | (byte(*piece, 1) << 8));
        return static_cast<std::int16_t>(raw);
    }
    std::optional<std::int32_t> i32() {
        auto piece = take(4);
        if (!piece) {
            return std::nullopt;
        }
        std::uint32_t raw = byte(*piece, 0) | (byte(*piece, 1) << 8) | (byte(*piece, 2) << 16) |
                            (byte(*piece, 3) << 24);
        return static_cast<std::int32_t>(raw);
    }
    std::size_t position() const { return pos_; }

  private:
    static std::uint32_t byte(std::string_view piece, std::size_t i) {
        return static_cast<unsigned char>(piece[i]);
    }
    std::string_view bytes_;
    std::size_t pos_ = 0;
};

struct Header {
    bool wide_numbers;
    std::size_t names_size;
    std::size_t booleans;
    std::size_t numbers;
    std::size_t string_offsets;
    std::size_t string_table_size;
};

std::expected<Header, std::string> read_header(Cursor& in) {
    auto magic = in.i16();
    if (!magic) {
        return incompatible("file is too short for a header");
    }
    auto magic_value = static_cast<std::uint16_t>(*magic);
    if (magic_value != MAGIC_16BIT && magic_value != MAGIC_32BIT) {
        return std::unexpected{"invalid magic number, found " + std::to_string(magic_value)};
    }
    std::int32_t sizes[5];
    for (std::int32_t& size : sizes) {
        auto value = in.i16();
        if (!value) {
            return incompatible("file is too short for a header");
        }
        // -1 stands for an empty section in some writers; any other negative size is corrupt.
        if (*value < -1) {
            return incompatible("negative section size");
        }
        size = *value < 0 ? 0 : *value;
    }
    if (sizes[0] == 0) {
        return incompatible("no terminal names");
    }
    return Header{magic_value == MAGIC_32BIT,         static_cast<std::size_t>(sizes[0]),
                  static_cast<std::size_t>(sizes[1]), static_cast<std::size_t>(sizes[2]),
                  static_cast<std::size_t>(sizes[3]), static_cast<std::size_t>(sizes[4])};
}

std::expected<std::vector<std::string>, std::string> read_names(Cursor& in, std::size_t size) {
    auto piece = in.take(size);
    if (!piece) {
        return incompatible("names section is truncated");
    }
    if (piece->back() != '\0') {
        return incompatible("names section is not terminated");
    }
    std::vector<std::string> names;
    std::string_view rest = piece->substr(0, piece->size() - 1);
    for (std::size_t bar; (bar = rest.find('|')) != std::string_view::npos;) {
        names.emplace_back(rest.substr(0, bar));
        rest.remove_prefix(bar + 1);
    }
    names.emplace_back(rest);
    return names;
}

// The string capability starting at `offset` in the string table, up to its terminating NUL.
std::expected<std::string, std::string> string_at(std::string_view table, std::size_t offset) {
    if (offset >= table.size()) {
        return incompatible("string offset out of bounds");
    }
    std::size_t end = table.find('\0', offset);
    if (end == std::string_view::npos) {
        return incompatible("string is not terminated");
    }
    return std::string{table.substr(offset, end - offset)};
}

std::expected<void, std::string> skip_booleans(Cursor& in, const Header& header, TermInfo&) {
    // No boolean capability matters for colours; the section is only stepped over.
    if (!in.take(header.booleans)) {
        return incompatible("booleans section is truncated");
    }
    // Numbers start on an even offset.
    if (in.position() % 2 != 0 && !in.take(1)) {
        return incompatible("booleans section is truncated");
    }
    return {};
}

std::expected<void, std::string> read_numbers(Cursor& in, const Header& header, TermInfo& info) {
    for (std::size_t i = 0; i < header.numbers; ++i) {
        auto value = header.wide_numbers ? in.i32() : in.i16();
        if (!value) {
            return incompatible("numbers section is truncated");
        }
        auto name = name_at(NUMBER_NAMES, i);
        // Negative values mark absent or cancelled capabilities.
        if (name && *value >= 0) {
            info.numbers.emplace(*name, *value);
        }
    }
    return {};
}

std::expected<void, std::string> read_strings(Cursor& in, const Header& header, TermInfo& info) {
    std::vector<std::pair<std::string_view, std::size_t>> wanted;
    for (std::size_t i = 0; i < header.string_offsets; ++i) {
        auto offset = in.i16();
        if (!offset) {
            return incompatible("string offsets are truncated");
        }
        auto name = name_at(STRING_NAMES, i);
        if (name && *offset >= 0) {
            wanted.emplace_back(*name, static_cast<std::size_t>(*offset));
        }
    }
    auto table = in.take(header.string_table_size);
    if (!table) {
        return incompatible("string table is truncated");
    }
    for (const auto& [name, offset] : wanted) {
        auto text = string_at(*table, offset);
        if (!text) {
            return tarnwick_base::take_error(text);
        }
        info.strings.emplace(name, std::move(*text));
    }
    return {};
}

}  // namespace

std::expected<TermInfo, std::string> parse_terminfo(std::string_view bytes) {
    Cursor in{bytes};
    auto header = read_header(in);
    if (!header) {
        return tarnwick_base::take_error(header);
    }
    auto names = read_names(in, header->names_size);
    if (!names) {
        return tarnwick_base::take_error(names);
    }
    TermInfo info;
    info.names = std::move(*names);
    // The extended sections that may follow hold nothing the runner uses; they are not read.
    for (auto section : {skip_booleans, read_numbers, read_strings}) {
        TARNWICK_TRY(section(in, *header, info));
    }
    return info;
}

}  // namespace runner
