#include "tarnwick_dat/error.hpp"

#include <cctype>

#include "tarnwick_base/hex.hpp"
#include "tarnwick_base/text.hpp"

namespace tarnwick_dat {

using tarnwick_base::debug_quoted;
using tarnwick_base::hex_upper;
using tarnwick_base::utf8_lossy;

namespace {

std::string path_text(const std::filesystem::path& path) {
    return utf8_lossy(path.native());
}

struct Display {
    std::string operator()(const DatError::Io& e) const { return "IO error: " + e.error.display(); }
    std::string operator()(const DatError::BinRead& e) const {
        return "Binary read error: " + e.error.display();
    }
    std::string operator()(const DatError::NotFound& e) const {
        return "File ID " + hex_upper(e.file_id) + " not found in provider";
    }
    std::string operator()(const DatError::DuplicateId& e) const {
        return "Duplicate File ID " + hex_upper(e.file_id) + " detected";
    }
    std::string operator()(const DatError::DuplicateNamespacedId& e) const {
        return "Duplicate namespaced file " + e.name_space + ":" + hex_upper(e.file_id) +
               " detected";
    }
    std::string operator()(const DatError::InvalidMagic& e) const {
        return "Invalid magic for format: " + e.text;
    }
    std::string operator()(const DatError::UnsupportedVersion& e) const {
        return "Unsupported version: " + std::to_string(e.version);
    }
    std::string operator()(const DatError::InvalidNamespace& e) const {
        return "Invalid namespace: " + e.text;
    }
    std::string operator()(const DatError::Corruption& e) const {
        return "Corruption detected: " + e.text;
    }
    std::string operator()(const DatError::DecompressionFailed& e) const {
        return "Failed to recover compressed file " + hex_upper(e.file_id);
    }
    std::string operator()(const DatError::PathError& e) const {
        return "Failed to open file at " + path_text(e.path) + ": " + e.source.display();
    }
    std::string operator()(const DatError::Other& e) const { return "Other error: " + e.text; }
};

std::string wrapped(std::string_view kind, const std::string& payload) {
    return std::string{kind} + "(" + payload + ")";
}

struct Debug {
    std::string operator()(const DatError::Io& e) const { return wrapped("Io", e.error.debug()); }
    std::string operator()(const DatError::BinRead& e) const {
        return wrapped("BinRead", e.error.display());
    }
    std::string operator()(const DatError::NotFound& e) const {
        return wrapped("NotFound", std::to_string(e.file_id));
    }
    std::string operator()(const DatError::DuplicateId& e) const {
        return wrapped("DuplicateId", std::to_string(e.file_id));
    }
    std::string operator()(const DatError::DuplicateNamespacedId& e) const {
        return "DuplicateNamespacedId { namespace: " + debug_quoted(e.name_space) +
               ", file_id: " + std::to_string(e.file_id) + " }";
    }
    std::string operator()(const DatError::InvalidMagic& e) const {
        return wrapped("InvalidMagic", debug_quoted(e.text));
    }
    std::string operator()(const DatError::UnsupportedVersion& e) const {
        return wrapped("UnsupportedVersion", std::to_string(e.version));
    }
    std::string operator()(const DatError::InvalidNamespace& e) const {
        return wrapped("InvalidNamespace", debug_quoted(e.text));
    }
    std::string operator()(const DatError::Corruption& e) const {
        return wrapped("Corruption", debug_quoted(e.text));
    }
    std::string operator()(const DatError::DecompressionFailed& e) const {
        return wrapped("DecompressionFailed", std::to_string(e.file_id));
    }
    std::string operator()(const DatError::PathError& e) const {
        return "PathError { path: " + debug_quoted(e.path.native()) +
               ", source: " + e.source.debug() + " }";
    }
    std::string operator()(const DatError::Other& e) const {
        return wrapped("Other", debug_quoted(e.text));
    }
};

std::string id_text(std::uint32_t id) {
    return "0x" + hex_upper(id, 8);
}

// The innermost cause and the field it was reading, on one line.
std::string read_error_line(const ReadError& error) {
    std::string text = error.cause_text();
    for (std::size_t at = 0; (at = text.find("\n  ", at)) != std::string::npos;) {
        text.replace(at, 3, "; ");
    }
    if (!error.frames().empty()) {
        std::string frame = error.frames().front().message;
        if (!frame.empty()) {
            frame[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(frame[0])));
        }
        text += " (" + frame + ")";
    }
    return text;
}

struct Message {
    std::string operator()(const DatError::Io& e) const { return e.error.display(); }
    std::string operator()(const DatError::BinRead& e) const { return read_error_line(e.error); }
    std::string operator()(const DatError::NotFound& e) const {
        return "no file " + id_text(e.file_id);
    }
    std::string operator()(const DatError::DuplicateId& e) const {
        return "duplicate file id " + id_text(e.file_id);
    }
    std::string operator()(const DatError::DuplicateNamespacedId& e) const {
        return "duplicate file " + e.name_space + ":" + id_text(e.file_id);
    }
    std::string operator()(const DatError::InvalidMagic& e) const {
        return "invalid magic: " + e.text;
    }
    std::string operator()(const DatError::UnsupportedVersion& e) const {
        return "unsupported version " + std::to_string(e.version);
    }
    std::string operator()(const DatError::InvalidNamespace& e) const {
        return "invalid namespace: " + e.text;
    }
    std::string operator()(const DatError::Corruption& e) const { return e.text; }
    std::string operator()(const DatError::DecompressionFailed& e) const {
        return "cannot expand compressed file " + id_text(e.file_id);
    }
    std::string operator()(const DatError::PathError& e) const {
        return "cannot open " + path_text(e.path) + ": " + e.source.display();
    }
    std::string operator()(const DatError::Other& e) const { return e.text; }
};

// Control bytes (escape sequences, line breaks) as \xNN; the rest as UTF-8.
std::string plain_line(const std::string& text) {
    std::string line;
    for (const char c : utf8_lossy(text)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            line += "\\x" + tarnwick_base::hex_upper(byte, 2);
        } else {
            line += c;
        }
    }
    return line;
}

}  // namespace

std::string DatError::message() const {
    return plain_line(std::visit(Message{}, kind_));
}

std::string DatError::display() const {
    return std::visit(Display{}, kind_);
}

std::string DatError::debug() const {
    return std::visit(Debug{}, kind_);
}

}  // namespace tarnwick_dat
