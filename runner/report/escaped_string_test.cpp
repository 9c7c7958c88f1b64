#include "runner/report/escaped_string.hpp"

#include <gtest/gtest.h>

namespace runner {
namespace {

TEST(EscapedString, EscapesQuotesBackslashesAndControlBytes) {
    struct Case {
        std::string_view text;
        std::string_view escaped;
    };
    const Case cases[] = {
        {"plain name::with_colons", "plain name::with_colons"},
        {"say \"hi\"\tnow", "say \\\"hi\\\"\\tnow"},
        {"back\\slash", "back\\\\slash"},
        {"\b\t\n\f\r", "\\b\\t\\n\\f\\r"},
        {std::string_view{"\x00\x01\x1f\x7f", 4}, "\\u0000\\u0001\\u001f\\u007f"},
        {"\x0b\x1b[32m", "\\u000b\\u001b[32m"},
        {"\x20~\x80\xff caf\xc3\xa9", "\x20~\x80\xff caf\xc3\xa9"},
    };
    for (const Case& c : cases) {
        std::string escaped = "kept:";
        EscapedString{c.text}.append_to(escaped);
        EXPECT_EQ(escaped, "kept:" + std::string{c.escaped});
    }
}

}  // namespace
}  // namespace runner
