#include "runner/terminal/terminal_output.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <memory>

#include "runner/terminal/terminfo_parser.hpp"
#include "runner/test_support/recording_output.hpp"
#include "runner/test_support/test_helpers.hpp"

namespace runner {
namespace {

// What tput prints for a capability of a terminal; nothing when tput cannot be run.
std::optional<std::string> tput(const std::string& term, const std::string& cap) {
    return testing::command_output("tput -T " + term + " " + cap + " 2>/dev/null");
}

EnvLookup env_with_term(std::string term, std::string terminfo_dirs = {}) {
    if (terminfo_dirs.empty()) {
        return testing::fake_env({{"TERM", term}});
    }
    return testing::fake_env({{"TERM", term}, {"TERMINFO_DIRS", terminfo_dirs}});
}

TEST(TerminalOutput, ColoursAsTputDoes) {
    for (const char* term : {"xterm-256color", "xterm"}) {
        SCOPED_TRACE(term);
        auto setaf = tput(term, "setaf 2");
        auto sgr0 = tput(term, "sgr0");
        if (!setaf || !sgr0) {
            GTEST_SKIP() << "tput or the " << term << " description is not available";
        }
        auto recording = std::make_unique<RecordingOutput>();
        RecordingOutput* sink = recording.get();
        auto out = terminal_or_plain(std::move(recording), env_with_term(term));
        ASSERT_NE(out.get(), sink) << "the terminal description did not load";
        EXPECT_TRUE(out->supports_color());
        ASSERT_TRUE(out->set_color(Color::Green).has_value());
        ASSERT_TRUE(out->write("ok").has_value());
        ASSERT_TRUE(out->reset_color().has_value());
        EXPECT_EQ(sink->text, *setaf + "ok" + *sgr0);
    }
}

TEST(TerminalOutput, DelaySpecificationsAreNotText) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"\x1b[m\x0f$<2>", "\x1b[m\x0f"},
        {"a$<5.3*/>b$<.5>c", "abc"},
        {"$<10/>$<3*>", ""},
        // Not a delay: no digit after "$<", or no closing '>' anywhere.
        {"$<x>", "$<x>"},
        {"$<5", "$<5"},
        {"cost $5", "cost $5"},
        {"$$<1>", "$"},
        // The character after the digits and markers ends the delay, whatever it is.
        {"$<5x>", ">"},
    };
    for (const auto& [expanded, sent] : cases) {
        EXPECT_EQ(without_delays(expanded), sent) << expanded;
    }
}

TEST(TerminalOutput, ColourNumbersFollowTheTerminalsCount) {
    TermInfo eight = mintty_terminfo();
    TermInfo many = eight;
    many.numbers["colors"] = 256;
    many.strings["setaf"] = "%p1%d";
    eight.strings["setaf"] = "%p1%d";
    TermVariables vars;
    EXPECT_EQ(color_sequence(eight, 9, vars), "1");
    EXPECT_EQ(color_sequence(many, 9, vars), "9");
    EXPECT_EQ(color_sequence(eight, 200, vars), std::nullopt);
    TermInfo two = eight;
    two.numbers["colors"] = 2;
    EXPECT_EQ(color_sequence(two, 3, vars), std::nullopt);
    TermInfo no_count = eight;
    no_count.numbers.clear();
    EXPECT_EQ(color_sequence(no_count, 1, vars), std::nullopt);
}

TEST(TerminalOutput, ResetUsesTheFirstCapabilityPresent) {
    TermInfo info;
    TermVariables vars;
    EXPECT_EQ(reset_sequence(info, vars), std::nullopt);
    info.strings["op"] = "OP";
    EXPECT_EQ(reset_sequence(info, vars), "OP");
    info.strings["sgr"] = "%?%p1%tX%eSGR%;";
    EXPECT_EQ(reset_sequence(info, vars), "SGR");
    info.strings["sgr0"] = "SGR0";
    EXPECT_EQ(reset_sequence(info, vars), "SGR0");
}

TEST(TerminalOutput, DescriptionWithoutSetafWritesPlainBytes) {
    TermInfo info = mintty_terminfo();
    info.strings.erase("setaf");
    auto recording = std::make_unique<RecordingOutput>();
    RecordingOutput* sink = recording.get();
    TerminalOutput out{std::move(info), std::move(recording)};
    EXPECT_FALSE(out.supports_color());
    ASSERT_TRUE(out.set_color(Color::Red).has_value());
    ASSERT_TRUE(out.write("FAILED").has_value());
    ASSERT_TRUE(out.reset_color().has_value());
    EXPECT_EQ(sink->text, "FAILED\x1b[0m");
}

TEST(TerminalOutput, MissingOrCorruptDescriptionMeansPlainOutput) {
    auto dir = std::filesystem::temp_directory_path() /
               ("terminal_output_test_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir / "b");
    std::ofstream(dir / "b" / "broken", std::ios::binary) << std::string("\x1a\x01\xff\x7f", 4);
    for (const char* term : {"broken", "no-such-terminal"}) {
        auto recording = std::make_unique<RecordingOutput>();
        RecordingOutput* sink = recording.get();
        auto out = terminal_or_plain(std::move(recording), env_with_term(term, dir.string()));
        EXPECT_EQ(out.get(), sink) << term;
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace runner
