#pragma once

#include <string_view>

namespace tarnwick_tool {

inline constexpr std::string_view tool_name = "tarnwick-dat";

// One message on standard error, after the tool's name: "tarnwick-dat: <text>".
void report_error(std::string_view text);

}  // namespace tarnwick_tool
