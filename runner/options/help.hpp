#pragma once

#include <span>
#include <string>
#include <string_view>

#include "runner/options/optgroups.hpp"

namespace runner {

// One option's row of the help screen, without a final line break.
std::string help_row(const OptGroup& option);

// The whole help screen for the program called `program_name`, ending in a line break.
std::string help_text(std::string_view program_name, std::span<const OptGroup> options);

}  // namespace runner
