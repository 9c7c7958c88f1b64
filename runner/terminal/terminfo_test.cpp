#include "runner/terminal/terminfo.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>

#include <unistd.h>

#include "runner/terminal/terminfo_parser.hpp"
#include "runner/test_support/test_helpers.hpp"

namespace runner {
namespace {

std::string read_file(const std::filesystem::path& path) {
    std::ifstream in{path, std::ios::binary};
    return {std::istreambuf_iterator<char>{in}, {}};
}

using testing::fake_env;

void put_u16(std::string& out, unsigned value) {
    out.push_back(static_cast<char>(value & 0xff));
    out.push_back(static_cast<char>((value >> 8) & 0xff));
}

// A compiled description with 16-bit numbers: colors (index 13) and setaf (string index 359).
std::string hand_made_terminfo(int colors, std::string_view setaf) {
    std::string names = "hand|made by a test";
    names.push_back('\0');
    std::string table{setaf};
    table.push_back('\0');
    std::string out;
    for (unsigned field : {0x11Au, static_cast<unsigned>(names.size()), 0u, 14u, 360u,
                           static_cast<unsigned>(table.size())}) {
        put_u16(out, field);
    }
    out += names;
    if (out.size() % 2 != 0) {
        out.push_back('\0');
    }
    for (int i = 0; i < 13; ++i) {
        put_u16(out, 0xffff);
    }
    put_u16(out, static_cast<unsigned>(colors));
    for (int i = 0; i < 359; ++i) {
        put_u16(out, 0xffff);
    }
    put_u16(out, 0);
    return out + table;
}

TEST(TerminfoParser, ReadsTheMachinesDescriptionsInBothNumberWidths) {
    struct Case {
        const char* path;
        std::uint16_t magic;
        int colors;
    };
    for (const Case& c : {Case{"/lib/terminfo/x/xterm-256color", 0x21E, 256},
                          Case{"/lib/terminfo/x/xterm", 0x11A, 8}}) {
        SCOPED_TRACE(c.path);
        std::string bytes = read_file(c.path);
        if (bytes.empty()) {
            GTEST_SKIP() << c.path << " is not installed";
        }
        ASSERT_EQ(
            static_cast<unsigned char>(bytes[0]) | (static_cast<unsigned char>(bytes[1]) << 8),
            c.magic);
        auto info = parse_terminfo(bytes);
        ASSERT_TRUE(info.has_value()) << info.error();
        EXPECT_EQ(info->names.front(), std::filesystem::path{c.path}.filename().string());
        EXPECT_EQ(info->number_cap("colors"), c.colors);
        for (const char* cap : {"setaf", "setab", "sgr0", "sgr", "op", "bold"}) {
            EXPECT_NE(info->string_cap(cap), nullptr) << cap;
        }
        EXPECT_EQ(*info->string_cap("bold"), "\x1b[1m");
        EXPECT_EQ(*info->string_cap("op"), "\x1b[39;49m");
    }
}

TEST(TerminfoParser, HandMadeDescription) {
    auto info = parse_terminfo(hand_made_terminfo(8, "\x1b[3%p1%dm"));
    ASSERT_TRUE(info.has_value()) << info.error();
    EXPECT_EQ(info->names, (std::vector<std::string>{"hand", "made by a test"}));
    EXPECT_EQ(info->number_cap("colors"), 8);
    EXPECT_EQ(*info->string_cap("setaf"), "\x1b[3%p1%dm");
    EXPECT_EQ(info->string_cap("sgr0"), nullptr);
}

TEST(TerminfoParser, CorruptFilesGiveErrors) {
    std::string good = hand_made_terminfo(8, "\x1b[3%p1%dm");
    auto with_u16_at = [&](std::size_t offset, unsigned value) {
        std::string bytes = good;
        bytes[offset] = static_cast<char>(value & 0xff);
        bytes[offset + 1] = static_cast<char>(value >> 8);
        return bytes;
    };
    std::size_t setaf_offset_pos = 12 + 20 + 14 * 2 + 359 * 2;
    struct Case {
        const char* what;
        std::string bytes;
        std::string error;
    };
    const Case cases[] = {
        {"empty", "", "incompatible file: file is too short for a header"},
        {"wrong magic", with_u16_at(0, 0x1234), "invalid magic number, found 4660"},
        {"absurd names size", with_u16_at(2, 0x7fff),
         "incompatible file: names section is truncated"},
        {"negative size", with_u16_at(6, 0x8000), "incompatible file: negative section size"},
        {"no names", with_u16_at(2, 0), "incompatible file: no terminal names"},
        {"unterminated names", with_u16_at(2, 19),
         "incompatible file: names section is not terminated"},
        {"absurd number count", with_u16_at(6, 0x7fff),
         "incompatible file: numbers section is truncated"},
        {"absurd string count", with_u16_at(8, 0x7fff),
         "incompatible file: string offsets are truncated"},
        {"absurd table size", with_u16_at(10, 0x7fff),
         "incompatible file: string table is truncated"},
        {"offset past the table", with_u16_at(setaf_offset_pos, 500),
         "incompatible file: string offset out of bounds"},
        {"unterminated string", good.substr(0, good.size() - 1) + "x",
         "incompatible file: string is not terminated"},
    };
    for (const Case& c : cases) {
        auto info = parse_terminfo(c.bytes);
        ASSERT_FALSE(info.has_value()) << c.what;
        EXPECT_EQ(info.error(), c.error) << c.what;
    }
}

TEST(TerminfoParser, EveryTruncationOfARealFileIsAnError) {
    std::string bytes = read_file("/lib/terminfo/x/xterm-256color");
    if (bytes.empty()) {
        GTEST_SKIP() << "xterm-256color is not installed";
    }
    auto whole = parse_terminfo(bytes);
    ASSERT_TRUE(whole.has_value());
    // The standard sections end where the extended ones begin; any shorter file is incomplete.
    std::size_t first_complete = bytes.size();
    for (std::size_t length = 0; length < bytes.size(); ++length) {
        if (parse_terminfo(std::string_view{bytes}.substr(0, length)).has_value()) {
            first_complete = length;
            break;
        }
    }
    ASSERT_LT(first_complete, bytes.size());
    auto shortest = parse_terminfo(std::string_view{bytes}.substr(0, first_complete));
    EXPECT_EQ(shortest->strings, whole->strings);
}

TEST(TerminfoSearch, DirectoryOrder) {
    using Paths = std::vector<std::filesystem::path>;
    EXPECT_EQ(terminfo_search_dirs(fake_env({{"TERMINFO", "/mine"}, {"TERMINFO_DIRS", "/a::/b"}})),
              (Paths{"/mine", "/a", "/usr/share/terminfo", "/b"}));
    EXPECT_EQ(terminfo_search_dirs(fake_env({{"TERMINFO_DIRS", ""}})),
              (Paths{"/usr/share/terminfo"}));
    EXPECT_EQ(terminfo_search_dirs(fake_env({{"HOME", "/home/u"}})),
              (Paths{"/home/u/.terminfo", "/etc/terminfo", "/lib/terminfo", "/usr/share/terminfo",
                     "/boot/system/data/terminfo"}));
}

class TerminfoDirTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("terminfo_test_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_ / "h");
        std::filesystem::create_directories(dir_ / "c");
        std::ofstream{dir_ / "h" / "hand", std::ios::binary} << hand_made_terminfo(8, "<%p1%d>");
        std::ofstream{dir_ / "c" / "corrupt", std::ios::binary} << "not a description";
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::filesystem::path dir_;
};

TEST_F(TerminfoDirTest, FindsTheFileUnderTheFirstLetter) {
    auto found = find_terminfo_file("hand", {"/nonexistent", dir_});
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(*found, dir_ / "h" / "hand");
    for (const char* term : {"handy", "", "..", "h/../hand"}) {
        auto missing = find_terminfo_file(term, {dir_});
        ASSERT_FALSE(missing.has_value()) << term;
        EXPECT_EQ(missing.error(), "terminfo file not found");
    }
}

TEST_F(TerminfoDirTest, LoadsByEnvironmentWithTheMinttyFallback) {
    auto loaded = load_terminfo(fake_env({{"TERM", "hand"}, {"TERMINFO", dir_.string()}}));
    ASSERT_TRUE(loaded.has_value()) << loaded.error();
    EXPECT_EQ(*loaded->string_cap("setaf"), "<%p1%d>");

    auto corrupt = load_terminfo(fake_env({{"TERM", "corrupt"}, {"TERMINFO_DIRS", dir_.string()}}));
    ASSERT_FALSE(corrupt.has_value());
    EXPECT_EQ(corrupt.error(), "invalid magic number, found 28526");

    auto mintty = load_terminfo(fake_env(
        {{"TERM", "corrupt"}, {"TERMINFO_DIRS", dir_.string()}, {"MSYSCON", "mintty.exe"}}));
    ASSERT_TRUE(mintty.has_value());
    EXPECT_EQ(mintty->number_cap("colors"), 8);
    EXPECT_EQ(*mintty->string_cap("setaf"), "\x1b[3%p1%dm");

    // Without TERM there is no terminal, whatever the console.
    EXPECT_FALSE(load_terminfo(fake_env({{"MSYSCON", "mintty.exe"}})).has_value());
}

// Descriptions are read as long as they are, up to 1 MiB; one byte more is refused as such.
TEST_F(TerminfoDirTest, FilesOverOneMebibyteAreRefused) {
    const std::size_t limit = std::size_t{1} << 20;
    const std::string description = hand_made_terminfo(8, "<%p1%d>");
    const struct {
        std::size_t length;
        std::string error;
    } cases[] = {
        {limit, ""},
        {limit + 1, "incompatible file: file is too large"},
        {3 * limit, "incompatible file: file is too large"},
    };
    for (const auto& c : cases) {
        const auto path = dir_ / "h" / "padded";
        std::string bytes = description;
        bytes.resize(c.length, '\0');  // the parser ignores what follows the string table
        std::ofstream{path, std::ios::binary} << bytes;
        auto loaded = read_terminfo_file(path);
        if (c.error.empty()) {
            ASSERT_TRUE(loaded.has_value()) << c.length << ": " << loaded.error();
            EXPECT_EQ(*loaded->string_cap("setaf"), "<%p1%d>");
        } else {
            ASSERT_FALSE(loaded.has_value()) << c.length;
            EXPECT_EQ(loaded.error(), c.error) << c.length;
        }
    }
}

}  // namespace
}  // namespace runner
