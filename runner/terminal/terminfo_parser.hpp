#pragma once

#include <expected>
#include <string>
#include <string_view>

#include "runner/terminal/terminfo.hpp"

namespace runner {

// Decodes a description in the compiled terminfo format (16-bit or 32-bit numbers). Errors:
// "invalid magic number, found {}" or a text beginning "incompatible file: ".
std::expected<TermInfo, std::string> parse_terminfo(std::string_view bytes);

}  // namespace runner
