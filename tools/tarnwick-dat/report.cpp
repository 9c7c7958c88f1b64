#include "report.hpp"

#include <unistd.h>

#include <cstdlib>
#include <iostream>

namespace tarnwick_tool {

namespace {

std::string escaped(std::string_view text, bool keep_line_breaks) {
    std::string shown;
    for (const char c : base::utf8_lossy(text)) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 || byte == 0x7F) && !(keep_line_breaks && c == '\n')) {
            shown += "\\x" + base::hex_upper(byte, 2);
        } else {
            shown += c;
        }
    }
    return shown;
}

void write_line(std::string_view text) {
    const std::string name = styled_errors() ? "\33[1m" + std::string{tool_name} + ":\33[22m"
                                             : std::string{tool_name} + ":";
    std::cerr << name << ' ' << text << '\n' << std::flush;
}

}  // namespace

std::string shown_text(std::string_view text) {
    return escaped(text, false);
}

std::string shown_path(const std::filesystem::path& path) {
    return shown_text(path.native());
}

bool styled_errors() {
    static const bool styled = ::isatty(STDERR_FILENO) == 1 && std::getenv("NO_COLOR") == nullptr;
    return styled;
}

void report_error(std::string_view text) {
    write_line(escaped(text, true));
}

void report_failure(const std::filesystem::path& archive, std::string_view doing,
                    std::string_view why) {
    // Nothing was being done but looking: "A: no file 0x99999999".
    const std::string step = doing.empty() ? "" : std::string{doing} + ": ";
    write_line(shown_path(archive) + ": " + step + std::string{why});
}

void report_failure(const std::filesystem::path& archive, std::string_view doing,
                    const dat::DatError& error) {
    report_failure(archive, doing, error.message());
    const auto* read = std::get_if<dat::DatError::BinRead>(&error.kind());
    if (read == nullptr || !styled_errors()) {
        return;
    }
    for (const dat::ReadFrame& frame : read->error.frames()) {
        std::string line = "    " + shown_text(frame.message);
        if (frame.location) {
            line += " (" + std::string{frame.location->file} + ":" +
                    std::to_string(frame.location->line) + ")";
        }
        std::cerr << line << '\n';
    }
    std::cerr << std::flush;
}

}  // namespace tarnwick_tool
