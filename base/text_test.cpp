#include "tarnwick_base/text.hpp"

#include <gtest/gtest.h>

namespace tarnwick_base {
namespace {

TEST(Utf8Lossy, ReplacesEachMaximalInvalidSequence) {
    const std::string replacement = "\xEF\xBF\xBD";
    EXPECT_EQ(utf8_lossy("plain"), "plain");
    EXPECT_EQ(utf8_lossy("caf\xC3\xA9"), "caf\xC3\xA9");
    EXPECT_EQ(utf8_lossy("a\xFF"
                         "b"),
              "a" + replacement + "b");
    // A truncated three-byte sequence is one replacement, not two.
    EXPECT_EQ(utf8_lossy("\xE2\x82"
                         "x"),
              replacement + "x");
    // Surrogates and overlong forms are invalid.
    EXPECT_EQ(utf8_lossy("\xED\xA0\x80"), replacement + replacement + replacement);
    EXPECT_EQ(utf8_lossy("\xC0\xAF"), replacement + replacement);
    EXPECT_EQ(utf8_lossy("\xF0\x9F\x98\x80"), "\xF0\x9F\x98\x80");
}

TEST(Utf8CharLength, AWholeValidSequenceOrOneByte) {
    struct Case {
        std::string_view bytes;
        std::size_t length;
    };
    for (const Case& c : {Case{"q", 1}, Case{"\xC3\xA9q", 2}, Case{"\xE2\x82\xACq", 3},
                          Case{"\xF0\x9F\x98\x80q", 4}, Case{"\xFFqqqq", 1}, Case{"\xF0qqq", 1},
                          Case{"\xE2\x82q", 1}, Case{"\xC0\xAF", 1}, Case{"\xF0\x9F", 1}}) {
        EXPECT_EQ(utf8_char_length(c.bytes, 0), c.length) << debug_quoted(c.bytes);
    }
}

TEST(XmlChars, ReplacesOnlyWhatXmlCannotCarry) {
    const std::string replacement = "\xEF\xBF\xBD";
    EXPECT_EQ(xml_chars("\x1b[1mbold\x1b[22m"), replacement + "[1mbold" + replacement + "[22m");
    EXPECT_EQ(xml_chars(std::string_view{"a\0b\x01\x1f", 5}),
              "a" + replacement + "b" + replacement + replacement);
    EXPECT_EQ(xml_chars("\xEF\xBF\xBE\xEF\xBF\xBF"), replacement + replacement);
    // Tab, line breaks, DEL, other characters and bytes that are not UTF-8 stay.
    EXPECT_EQ(xml_chars("\t\n\r\x7f caf\xC3\xA9 \xFF ]]>"), "\t\n\r\x7f caf\xC3\xA9 \xFF ]]>");
}

TEST(DebugQuoted, EscapesQuotesBackslashesAndControls) {
    EXPECT_EQ(debug_quoted("dats/portal.dat"), "\"dats/portal.dat\"");
    EXPECT_EQ(debug_quoted("say \"hi\"\\"), R"("say \"hi\"\\")");
    EXPECT_EQ(debug_quoted("a\tb\nc\rd"), R"("a\tb\nc\rd")");
    EXPECT_EQ(debug_quoted(std::string_view{"\0\x1b\x7f", 3}), R"("\0\u{1b}\u{7f}")");
    EXPECT_EQ(debug_quoted("it's"), "\"it's\"");
    EXPECT_EQ(debug_quoted("caf\xC3\xA9"), "\"caf\xC3\xA9\"");
    EXPECT_EQ(debug_quoted("bad\xFF"), R"("bad\xFF")");
}

}  // namespace
}  // namespace tarnwick_base
