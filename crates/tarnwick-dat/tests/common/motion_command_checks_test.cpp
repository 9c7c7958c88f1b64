#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "motion_command_names.hpp"
#include "runner/check/panic.hpp"
#include "runner/execution/capture.hpp"

namespace common::motion_command_names {
namespace {

namespace fs = std::filesystem;

// The failure message of `body`, or nothing when it passed; what it printed goes to `printed`.
template <class Body>
std::optional<std::string> failure_of(Body body, std::string* printed = nullptr) {
    const auto capture = std::make_shared<runner::CaptureBuffer>();
    const auto previous = runner::set_output_capture(capture);
    std::optional<std::string> message;
    try {
        body();
    } catch (const runner::AssertionFailure& failure) {
        message = failure.message;
    }
    runner::set_output_capture(previous);
    if (printed != nullptr) {
        *printed = capture->take();
    }
    return message;
}

TEST(MotionSelfChecks, AllPassSilentlyOnTheBuiltInTable) {
    for (void (*check)() : {tests::table_is_strictly_sorted_for_binary_search,
                            tests::lookup_known_commands, tests::classify_known_commands}) {
        std::string printed;
        EXPECT_EQ(failure_of(check, &printed), std::nullopt);
        EXPECT_EQ(printed, "");
    }
}

TEST(MotionSelfChecks, OrderCheckNamesTheFirstUnorderedPair) {
    const std::array<MotionCommandRow, 4> swapped{{{0x00000001, "A"},
                                                   {0x10000186, "AttackHigh4"},
                                                   {0x10000185, "OffhandKick"},
                                                   {0x00000002, "Late"}}};
    EXPECT_EQ(failure_of([&] { require_strictly_sorted(swapped); }),
              "table not strictly sorted: 0x10000186 (AttackHigh4) >= 0x10000185 (OffhandKick)");
    const std::array<MotionCommandRow, 2> repeated{{{0x4000000C, "Off"}, {0x4000000C, "Again"}}};
    EXPECT_EQ(failure_of([&] { require_strictly_sorted(repeated); }),
              "table not strictly sorted: 0x4000000C (Off) >= 0x4000000C (Again)");
}

std::string line_of(const fs::path& file, std::size_t number) {
    std::ifstream in{file};
    std::string line;
    for (std::size_t i = 0; i < number && std::getline(in, line); ++i) {
    }
    return line;
}

TEST(MotionSelfChecks, RecordedSitesHoldTheCheckNames) {
    const fs::path root{TARNWICK_SOURCE_ROOT};
    const std::pair<std::string, const runner::CheckSite*> sites[] = {
        {"table_is_strictly_sorted_for_binary_search",
         &tests::table_is_strictly_sorted_for_binary_search_site},
        {"lookup_known_commands", &tests::lookup_known_commands_site},
        {"classify_known_commands", &tests::classify_known_commands_site},
    };
    for (const auto& [name, site] : sites) {
        EXPECT_EQ(site->file, "crates/tarnwick-dat/tests/common/motion_command_names.cpp");
        const std::string line = line_of(root / site->file, site->line);
        EXPECT_EQ(line.substr(runner::CHECK_NAME_COLUMN - 1, name.size()), name) << line;
    }
}

}  // namespace
}  // namespace common::motion_command_names
