#include "motion_command_names.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

namespace common::motion_command_names {

// Lets GoogleTest show classes by name in its own failure messages.
void PrintTo(MotionCommandClass command_class, std::ostream* out) {
    *out << debug_repr(command_class);
}

namespace {

using Class = MotionCommandClass;
using Name = std::optional<std::string_view>;

constexpr std::uint32_t group_byte(std::uint32_t code) {
    return code >> 24;
}

TEST(MotionCommandNames, RowsAreStrictlyAscending) {
    EXPECT_FALSE(first_unordered_rows(MOTION_COMMAND_NAMES).has_value());
}

TEST(MotionCommandNames, CodesNamesAndIndicesAreWellFormedAndUnique) {
    std::set<std::string_view> names;
    std::set<std::uint32_t> indices;
    for (const MotionCommandRow& row : MOTION_COMMAND_NAMES) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.code & 0x00FF0000u, 0u);
        EXPECT_GE(row.name.size(), 2u);
        EXPECT_LE(row.name.size(), 37u);
        for (const char c : row.name) {
            EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c)));
        }
        EXPECT_TRUE(names.insert(row.name).second);
        EXPECT_TRUE(indices.insert(row.code & 0xFFFFu).second);
    }
    std::set<std::uint32_t> expected_indices;
    for (std::uint32_t index = 0; index <= 0x19B; ++index) {
        if (index < 0x115 || index > 0x117) {
            expected_indices.insert(index);
        }
    }
    EXPECT_EQ(indices, expected_indices);
}

TEST(MotionCommandNames, EveryRowResolvesToItsOwnText) {
    for (const MotionCommandRow& row : MOTION_COMMAND_NAMES) {
        const Name name = motion_command_name(row.code);
        ASSERT_TRUE(name.has_value()) << row.name;
        EXPECT_EQ(name->data(), row.name.data()) << row.name;
    }
}

TEST(MotionCommandNames, CodesBesideARowResolveToNothing) {
    const auto is_row = [](std::uint32_t code) {
        return std::ranges::any_of(
            MOTION_COMMAND_NAMES, [code](const MotionCommandRow& row) { return row.code == code; });
    };
    for (const MotionCommandRow& row : MOTION_COMMAND_NAMES) {
        for (const std::uint32_t neighbour : {row.code - 1, row.code + 1}) {
            if (!is_row(neighbour)) {
                EXPECT_EQ(motion_command_name(neighbour), std::nullopt) << std::hex << neighbour;
            }
        }
    }
}

TEST(MotionCommandNames, LooksUpKnownAndUnknownCodes) {
    const std::vector<std::pair<std::uint32_t, Name>> cases{
        {0x00000000, "Invalid"},
        {0x85000002, "HoldSidestep"},
        {0x8000003D, "NonCombat"},
        {0x4000000C, "Off"},
        {0x45000005, "WalkForward"},
        {0x44000007, "RunForward"},
        {0x6500000D, "TurnRight"},
        {0x2500003B, "Jump"},
        {0x10000186, "AttackHigh4"},
        {0x1000004B, "Jumpup"},
        {0x45000006, "WalkBackwards"},
        {0x80000041, "CrossbowCombat"},
        {0x800000E9, "CrossBowNoAmmo"},
        {0x43000142, "TalktotheHandState"},
        {0x4300013E, "SitCrossleggedState"},
        {0x1000019B, "WoahDuplicate2"},
        {0xDEADBEEF, std::nullopt},
        {0x85000003, std::nullopt},
        {0x90000000, std::nullopt},
        {0xFFFFFFFF, std::nullopt},
        {0x00000001, std::nullopt},
        {0x1000003D, std::nullopt},
        {0x8001003D, std::nullopt},
        {0x0900FFFF, std::nullopt},
    };
    for (const auto& [code, expected] : cases) {
        EXPECT_EQ(motion_command_name(code), expected) << std::hex << code;
    }
}

TEST(MotionCommandNames, IndicesWithoutARowResolveToNothingUnderAnyGroup) {
    for (std::uint32_t group = 0; group <= 0xFF; ++group) {
        for (const std::uint32_t index : {0x115u, 0x116u, 0x117u}) {
            const std::uint32_t code = group << 24 | index;
            EXPECT_EQ(motion_command_name(code), std::nullopt) << std::hex << code;
        }
    }
}

TEST(MotionCommandNames, SearchesAnyAscendingTableByHalving) {
    const std::vector<MotionCommandRow> rows{{10, "Ten"}, {20, "Twenty"}, {30, "Thirty"}};
    const std::vector<std::pair<std::uint32_t, Name>> cases{
        {10, "Ten"},        {20, "Twenty"},     {30, "Thirty"},
        {0, std::nullopt},  {9, std::nullopt},  {15, std::nullopt},
        {25, std::nullopt}, {31, std::nullopt}, {0xFFFFFFFF, std::nullopt},
    };
    for (const auto& [code, expected] : cases) {
        EXPECT_EQ(find_motion_command_name(rows, code), expected) << code;
    }
    EXPECT_EQ(find_motion_command_name({}, 0), std::nullopt);
}

TEST(MotionCommandNames, FindsTheFirstPairOutOfStrictOrder) {
    struct Case {
        std::vector<MotionCommandRow> rows;
        std::optional<std::pair<std::uint32_t, std::uint32_t>> expected_codes;
    };
    const std::vector<Case> cases{
        {{}, std::nullopt},
        {{{5, "A"}}, std::nullopt},
        {{{1, "A"}, {2, "B"}, {0x80000000, "C"}}, std::nullopt},
        {{{1, "A"}, {3, "C"}, {2, "B"}, {0, "D"}}, std::pair{3u, 2u}},
        {{{1, "A"}, {4, "B"}, {4, "C"}}, std::pair{4u, 4u}},
        {{{0x80000000, "Top"}, {1, "A"}}, std::pair{0x80000000u, 1u}},
    };
    for (const Case& c : cases) {
        const std::optional<UnorderedRows> found = first_unordered_rows(c.rows);
        ASSERT_EQ(found.has_value(), c.expected_codes.has_value());
        if (found) {
            EXPECT_EQ(std::pair(found->earlier.code, found->later.code), *c.expected_codes);
        }
    }
}

TEST(MotionCommandNames, UnorderedPairCarriesBothRowsNames) {
    const std::vector<MotionCommandRow> rows{{0x8000003D, "NonCombat"}, {0x4000000C, "Off"}};
    const std::optional<UnorderedRows> found = first_unordered_rows(rows);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->earlier.name, "NonCombat");
    EXPECT_EQ(found->later.name, "Off");
}

TEST(MotionCommandClassification, DistributesTheTableByGroupAndClass) {
    std::map<std::pair<std::uint32_t, Class>, int> counts;
    for (const MotionCommandRow& row : MOTION_COMMAND_NAMES) {
        ++counts[{group_byte(row.code), motion_command_class(row.code)}];
    }
    const std::map<std::pair<std::uint32_t, Class>, int> expected{
        {{0x00, Class::Invalid}, 1},       {{0x08, Class::Misc}, 5},
        {{0x09, Class::Misc}, 83},         {{0x0C, Class::Misc}, 1},
        {{0x0D, Class::Misc}, 10},         {{0x10, Class::AttackHigh}, 22},
        {{0x10, Class::AttackMedium}, 22}, {{0x10, Class::AttackLow}, 22},
        {{0x10, Class::Action}, 67},       {{0x12, Class::Misc}, 3},
        {{0x13, Class::QuickEmote}, 49},   {{0x20, Class::Stop}, 1},
        {{0x25, Class::Jump}, 1},          {{0x40, Class::Aim}, 13},
        {{0x40, Class::MagicGesture}, 15}, {{0x40, Class::Locomotion}, 26},
        {{0x41, Class::Posture}, 4},       {{0x42, Class::Misc}, 1},
        {{0x43, Class::StateEmote}, 36},   {{0x44, Class::Locomotion}, 1},
        {{0x45, Class::Locomotion}, 2},    {{0x65, Class::Turn}, 4},
        {{0x80, Class::Stance}, 18},       {{0x85, Class::HoldKey}, 2},
    };
    EXPECT_EQ(counts, expected);
}

TEST(MotionCommandClassification, ClassifiesEdgeCases) {
    const std::vector<std::pair<std::uint32_t, Class>> cases{
        {0x00000000, Class::Invalid},      {0x20000000, Class::Stop},
        {0x2000003A, Class::Stop},         {0x20FFFFFF, Class::Stop},
        {0x2500003B, Class::Jump},         {0x25000001, Class::Misc},
        {0x40000004, Class::Locomotion},   {0x80000049, Class::Stance},
        {0x1000006F, Class::Action},       {0x4000001E, Class::Aim},
        {0x4000002B, Class::MagicGesture}, {0x40000099, Class::Locomotion},
        {0x10000186, Class::AttackHigh},   {0x10000187, Class::AttackMedium},
        {0x10000188, Class::AttackLow},    {0x1000011F, Class::AttackLow},
        {0x10000121, Class::AttackHigh},   {0x10000185, Class::Action},
        {0x100000CD, Class::Action},       {0x1000005E, Class::Action},
        {0x10000000, Class::Action},       {0x0D0000B2, Class::Misc},
        {0x0D0000B3, Class::Misc},         {0x0D0000B4, Class::Misc},
        {0x90000000, Class::UiPanel},      {0x090000B8, Class::Misc},
        {0x8000003D, Class::Stance},       {0x45000005, Class::Locomotion},
        {0x6500000D, Class::Turn},         {0x85000001, Class::HoldKey},
        {0x41000003, Class::Posture},      {0x13000087, Class::QuickEmote},
        {0x4000002A, Class::Aim},          {0xDEADBEEF, Class::Misc},
        {0xFFFFFFFF, Class::Misc},
    };
    for (const auto& [code, expected] : cases) {
        EXPECT_EQ(motion_command_class(code), expected) << std::hex << code;
    }
}

TEST(MotionCommandClassification, EveryCodeOfTheStateEmoteGroupIsAStateEmote) {
    for (std::uint32_t index = 0; index <= 0xFFFF; ++index) {
        const std::uint32_t code = 0x43000000 | index;
        ASSERT_EQ(motion_command_class(code), Class::StateEmote) << std::hex << code;
    }
    EXPECT_EQ(motion_command_class(0x43FF0000), Class::StateEmote);
}

TEST(MotionCommandClassification, RendersEachClassAsItsVariantName) {
    const std::vector<std::pair<Class, std::string_view>> variants{
        {Class::Invalid, "Invalid"},
        {Class::Stance, "Stance"},
        {Class::Locomotion, "Locomotion"},
        {Class::Turn, "Turn"},
        {Class::Jump, "Jump"},
        {Class::Stop, "Stop"},
        {Class::HoldKey, "HoldKey"},
        {Class::Aim, "Aim"},
        {Class::MagicGesture, "MagicGesture"},
        {Class::Posture, "Posture"},
        {Class::StateEmote, "StateEmote"},
        {Class::QuickEmote, "QuickEmote"},
        {Class::UiPanel, "UiPanel"},
        {Class::Action, "Action"},
        {Class::AttackHigh, "AttackHigh"},
        {Class::AttackMedium, "AttackMedium"},
        {Class::AttackLow, "AttackLow"},
        {Class::Misc, "Misc"},
    };
    static_assert(sizeof(Class) == 1);
    for (std::size_t value = 0; value < variants.size(); ++value) {
        const auto& [variant, name] = variants[value];
        EXPECT_EQ(static_cast<std::size_t>(variant), value) << name;
        EXPECT_EQ(debug_repr(variant), name);
    }
    EXPECT_EQ(debug_repr(static_cast<Class>(18)), "MotionCommandClass(18)");
}

}  // namespace
}  // namespace common::motion_command_names
