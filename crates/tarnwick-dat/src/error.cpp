#include "tarnwick_dat/error.hpp"

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

}  // namespace

std::string DatError::display() const {
    return std::visit(Display{}, kind_);
}

std::string DatError::debug() const {
    return std::visit(Debug{}, kind_);
}

}  // namespace tarnwick_dat
