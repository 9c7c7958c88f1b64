#pragma once

// Failure messages put into words only when a check fails. A check run over thousands of files
// names each one in its assertions; building those texts for every file that passes would cost
// more than the check itself. `"ClothingTable " + HexId{id} + " self-id mismatch"` keeps its
// pieces as they come and joins them when the assertion asks for `text()`.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "tarnwick_base/hex.hpp"

namespace deferred {

// A file identifier, written as 0x and eight upper-case hexadecimal digits.
struct HexId {
    std::uint32_t id;
};

class DeferredText {
  public:
    using Piece = std::variant<std::string_view, HexId, std::string>;

    DeferredText(std::string_view literal, HexId id) {
        add(literal);
        add(id);
    }

    // Each piece joins the text in place, the temporary living to the end of the statement.
    friend DeferredText&& operator+(DeferredText&& text, const char* literal) {
        text.add(std::string_view{literal});
        return std::move(text);
    }
    friend DeferredText&& operator+(DeferredText&& text, std::string piece) {
        text.add(std::move(piece));
        return std::move(text);
    }

    std::string text() const {
        std::string joined = overflow_;
        for (std::size_t i = 0; i < count_; ++i) {
            std::visit([&](const auto& piece) { append(joined, piece); }, pieces_[i]);
        }
        return joined;
    }
    operator std::string() const { return text(); }

  private:
    static void append(std::string& out, std::string_view piece) { out += piece; }
    static void append(std::string& out, HexId id) {
        out += "0x";
        out += tarnwick_base::hex_upper(id.id);
    }

    void add(Piece piece) {
        if (count_ == pieces_.size()) {
            // Longer texts than any assertion here builds: fold what is kept into words.
            overflow_ = text();
            count_ = 0;
        }
        pieces_[count_++] = std::move(piece);
    }

    std::string overflow_;
    std::array<Piece, 8> pieces_;
    std::size_t count_ = 0;
};

inline DeferredText operator+(const char* literal, HexId id) {
    return {literal, id};
}

}  // namespace deferred
