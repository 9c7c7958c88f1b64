#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tarnwick_base {

// The bytes as UTF-8 text, each maximal invalid sequence replaced by U+FFFD.
std::string utf8_lossy(std::string_view bytes);

// Length of the UTF-8 character at `bytes[at]`: its whole sequence when the lead byte is followed
// by all its valid continuation bytes, otherwise 1 (a stray or incomplete byte stands alone).
std::size_t utf8_char_length(std::string_view bytes, std::size_t at);

// The text with every character that XML 1.0 cannot carry (C0 controls other than tab, line feed
// and carriage return; U+FFFE and U+FFFF) replaced by U+FFFD. Other bytes are kept as they are.
std::string xml_chars(std::string_view text);

// The text in double quotes, with quotes, backslashes and control characters escaped;
// bytes that are not valid UTF-8 appear as \xNN.
std::string debug_quoted(std::string_view text);

}  // namespace tarnwick_base
