#include "report.hpp"

#include <iostream>

namespace tarnwick_tool {

void report_error(std::string_view text) {
    std::cerr << tool_name << ": " << text << '\n' << std::flush;
}

}  // namespace tarnwick_tool
