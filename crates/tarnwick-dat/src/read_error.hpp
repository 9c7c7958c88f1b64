#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "tarnwick_dat/io_error.hpp"

namespace tarnwick_dat {

// Where a record field is declared in this source tree.
struct SourceSite {
    std::string_view file;
    std::uint32_t line;
};

// One step of context added while a failure travels out of nested records, innermost first.
struct ReadFrame {
    std::string message;
    std::optional<SourceSite> location;
};

namespace read_cause {
struct Io {
    IoError error;
};
struct Assertion {
    std::string message;
    std::uint64_t position;
};
struct BadMagic {
    std::uint64_t position;
    std::string found;  // structured rendering of the value found
};
struct Custom {
    std::string message;
    std::uint64_t position;
};
struct NoVariantMatch {
    std::uint64_t position;
};
struct VariantErrors {
    std::uint64_t position;
    std::vector<std::pair<std::string, std::string>> failures;  // alternative name, failure text
};
}  // namespace read_cause

// A failure to decode a record: its innermost cause and the context frames gathered on the way out.
class TARNWICK_DAT_API ReadError {
  public:
    using Cause =
        std::variant<read_cause::Io, read_cause::Assertion, read_cause::BadMagic,
                     read_cause::Custom, read_cause::NoVariantMatch, read_cause::VariantErrors>;

    explicit ReadError(Cause cause) : cause_{std::move(cause)} {}
    static ReadError io(IoError error) { return ReadError{read_cause::Io{std::move(error)}}; }
    static ReadError assertion(std::string message, std::uint64_t position) {
        return ReadError{read_cause::Assertion{std::move(message), position}};
    }

    const Cause& cause() const { return cause_; }
    const std::vector<ReadFrame>& frames() const { return frames_; }
    // Adds a frame outside those already present.
    void push_frame(ReadFrame frame) { frames_.push_back(std::move(frame)); }

    std::string cause_text() const;
    // The bare cause text, or the framed backtrace block when there are frames.
    std::string display() const;

  private:
    Cause cause_;
    std::vector<ReadFrame> frames_;
};

}  // namespace tarnwick_dat
