#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "archive.hpp"

namespace tarnwick_tool {

inline constexpr std::string_view tool_name = "tarnwick-dat";

// The text with every control byte (escape sequences, line breaks) as \xNN and bytes that are
// not UTF-8 as U+FFFD, so that an echoed name can neither move the cursor nor forge a line.
std::string shown_text(std::string_view text);
std::string shown_path(const std::filesystem::path& path);

// A message on standard error after the tool's name: "tarnwick-dat: <text>". Control bytes
// other than line breaks are escaped.
void report_error(std::string_view text);

// One line, "tarnwick-dat: ARCHIVE: doing: why" ("ARCHIVE: why" when `doing` is empty), the
// archive's name escaped.
void report_failure(const std::filesystem::path& archive, std::string_view doing,
                    std::string_view why);
// The same with a library error's plain message; on a terminal its record-reading frames follow,
// indented under the line.
void report_failure(const std::filesystem::path& archive, std::string_view doing,
                    const dat::DatError& error);

// Whether messages may carry escape sequences: standard error is a terminal and NO_COLOR unset.
bool styled_errors();

}  // namespace tarnwick_tool
