#pragma once

#include <expected>
#include <optional>
#include <string>
#include <vector>

#include "runner/types.hpp"

namespace runner {

// Reads the command line (program path first). Gives the options; nothing when the help screen
// was printed; or the text of an option error.
std::expected<std::optional<TestOpts>, std::string> parse_opts(
    const std::vector<std::string>& arguments);

}  // namespace runner
