#include "tarnwick_dat/read_error.hpp"

#include "tarnwick_base/hex.hpp"

namespace tarnwick_dat {

using tarnwick_base::hex_lower;

namespace {

constexpr std::string_view bold = "\x1b[1m";
constexpr std::string_view end_bold = "\x1b[22m";
// The banners have the widths of the required display text: 20 rules either side of the title
// above, 53 below.
constexpr std::string_view banner_top =
    "\n \u257a\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501"
    "\u2501\u2501\u2501\u2501\u2501\u2501\u2505 Backtrace "
    "\u2505\u2501\u2501\u2501\u2501\u2501\u2501"
    "\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2578\n"
    "\n";

std::string banner_bottom() {
    std::string line = "\n \u257a";
    for (int i = 0; i < 53; ++i) {
        line += "\u2501";
    }
    line += "\u2578\n\n";
    return line;
}

std::string at_position(std::string_view message, std::uint64_t position) {
    return std::string{message} + " at 0x" + hex_lower(position);
}

void append_location(std::string& out, const ReadFrame& frame) {
    if (frame.location) {
        out.append("     at ").append(frame.location->file).append(":");
        out.append(std::to_string(frame.location->line)).append("\n");
    }
}

struct CauseText {
    std::string operator()(const read_cause::Io& c) const { return c.error.display(); }
    std::string operator()(const read_cause::Assertion& c) const {
        return at_position(c.message, c.position);
    }
    std::string operator()(const read_cause::BadMagic& c) const {
        return "bad magic at 0x" + hex_lower(c.position) + ": " + c.found;
    }
    std::string operator()(const read_cause::Custom& c) const {
        return at_position(c.message, c.position);
    }
    std::string operator()(const read_cause::NoVariantMatch& c) const {
        return "no variants matched at 0x" + hex_lower(c.position);
    }
    std::string operator()(const read_cause::VariantErrors& c) const {
        std::string text = "no variants matched at 0x" + hex_lower(c.position) + ":";
        for (const auto& [name, failure] : c.failures) {
            text += "\n  " + name + ": " + failure;
        }
        return text;
    }
};

}  // namespace

std::string ReadError::cause_text() const {
    return std::visit(CauseText{}, cause_);
}

std::string ReadError::display() const {
    if (frames_.empty()) {
        return cause_text();
    }
    std::string out{banner_top};
    const ReadFrame& innermost = frames_.front();
    // The innermost frame opens bold twice and closes it twice: the required text has it so.
    out.append(" 0: ").append(bold).append(bold).append("Error: ").append(cause_text());
    out.append(end_bold).append("\n           ").append(bold).append(innermost.message);
    out.append(end_bold).append(end_bold).append("\n");
    append_location(out, innermost);
    for (std::size_t i = 1; i < frames_.size(); ++i) {
        out.append(" ").append(std::to_string(i)).append(": ").append(bold);
        out.append(frames_[i].message).append(end_bold).append("\n");
        append_location(out, frames_[i]);
    }
    out += banner_bottom();
    return out;
}

}  // namespace tarnwick_dat
