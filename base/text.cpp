#include "tarnwick_base/text.hpp"

#include "tarnwick_base/hex.hpp"

namespace tarnwick_base {
namespace {

struct Utf8Step {
    std::size_t length;  // bytes consumed
    bool valid;
    char32_t code_point;
};

bool is_continuation(unsigned char byte, unsigned char low = 0x80, unsigned char high = 0xBF) {
    return byte >= low && byte <= high;
}

// Decodes the sequence at `at`; an invalid one covers its maximal valid prefix (at least 1 byte).
Utf8Step next_utf8(std::string_view bytes, std::size_t at) {
    const auto lead = static_cast<unsigned char>(bytes[at]);
    if (lead < 0x80) {
        return {1, true, lead};
    }
    std::size_t width = 0;
    unsigned char second_low = 0x80;
    unsigned char second_high = 0xBF;
    char32_t value = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        width = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        width = 3;
        value = lead & 0x0F;
        second_low = lead == 0xE0 ? 0xA0 : 0x80;
        second_high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        width = 4;
        value = lead & 0x07;
        second_low = lead == 0xF0 ? 0x90 : 0x80;
        second_high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return {1, false, 0};
    }
    for (std::size_t k = 1; k < width; ++k) {
        if (at + k >= bytes.size()) {
            return {k, false, 0};
        }
        const auto byte = static_cast<unsigned char>(bytes[at + k]);
        const bool fits =
            k == 1 ? is_continuation(byte, second_low, second_high) : is_continuation(byte);
        if (!fits) {
            return {k, false, 0};
        }
        value = (value << 6) | (byte & 0x3F);
    }
    return {width, true, value};
}

void append_escaped(std::string& out, char32_t c, std::string_view raw) {
    switch (c) {
        case U'\0':
            out += "\\0";
            return;
        case U'\t':
            out += "\\t";
            return;
        case U'\r':
            out += "\\r";
            return;
        case U'\n':
            out += "\\n";
            return;
        case U'"':
            out += "\\\"";
            return;
        case U'\\':
            out += "\\\\";
            return;
        default:
            break;
    }
    const bool control = c < 0x20 || (c >= 0x7F && c < 0xA0);
    if (control) {
        out += "\\u{" + hex_lower(c) + "}";
    } else {
        out += raw;
    }
}

}  // namespace

std::size_t utf8_char_length(std::string_view bytes, std::size_t at) {
    const Utf8Step step = next_utf8(bytes, at);
    return step.valid ? step.length : 1;
}

std::string xml_chars(std::string_view text) {
    constexpr std::string_view replacement = "\xEF\xBF\xBD";
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const Utf8Step step = next_utf8(text, at);
        const char32_t c = step.code_point;
        const bool forbidden =
            step.valid &&
            ((c < 0x20 && c != U'\t' && c != U'\n' && c != U'\r') || c == 0xFFFE || c == 0xFFFF);
        out += forbidden ? replacement : text.substr(at, step.length);
        at += step.length;
    }
    return out;
}

std::string utf8_lossy(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t at = 0; at < bytes.size();) {
        const Utf8Step step = next_utf8(bytes, at);
        out += step.valid ? bytes.substr(at, step.length) : "\xEF\xBF\xBD";
        at += step.length;
    }
    return out;
}

std::string debug_quoted(std::string_view text) {
    std::string out = "\"";
    for (std::size_t at = 0; at < text.size();) {
        const Utf8Step step = next_utf8(text, at);
        if (step.valid) {
            append_escaped(out, step.code_point, text.substr(at, step.length));
        } else {
            for (std::size_t k = 0; k < step.length; ++k) {
                out += "\\x" + hex_upper(static_cast<unsigned char>(text[at + k]), 2);
            }
        }
        at += step.length;
    }
    out += '"';
    return out;
}

}  // namespace tarnwick_base
