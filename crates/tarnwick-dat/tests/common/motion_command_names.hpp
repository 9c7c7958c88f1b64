#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "runner/check/check_site.hpp"

namespace common::motion_command_names {

// A motion command code is group byte << 24 | command index (bits 16 to 23 are zero).
struct MotionCommandRow {
    std::uint32_t code;
    std::string_view name;
};

// Every known motion command, strictly ascending by code so that it can be searched by halving.
extern const std::array<MotionCommandRow, 409> MOTION_COMMAND_NAMES;

// The name of the row whose code equals `code`, searched by halving; `rows` must be strictly
// ascending by code. The returned text is the row's own.
std::optional<std::string_view> find_motion_command_name(std::span<const MotionCommandRow> rows,
                                                         std::uint32_t code);

// The name of `code` in MOTION_COMMAND_NAMES, or nothing when the table has no such code.
std::optional<std::string_view> motion_command_name(std::uint32_t code);

// Two adjacent rows whose codes are not in strictly ascending order.
struct UnorderedRows {
    MotionCommandRow earlier;
    MotionCommandRow later;
};

// The first adjacent pair of `rows` whose earlier code is not below the later one, if any.
std::optional<UnorderedRows> first_unordered_rows(std::span<const MotionCommandRow> rows);

enum class MotionCommandClass : std::uint8_t {
    Invalid = 0,
    Stance = 1,
    Locomotion = 2,
    Turn = 3,
    Jump = 4,
    Stop = 5,
    HoldKey = 6,
    Aim = 7,
    MagicGesture = 8,
    Posture = 9,
    StateEmote = 10,
    QuickEmote = 11,
    UiPanel = 12,
    Action = 13,
    AttackHigh = 14,
    AttackMedium = 15,
    AttackLow = 16,
    Misc = 17,
};

// What kind of command `code` is, from its group byte and, for some groups, its name. Total.
MotionCommandClass motion_command_class(std::uint32_t code);

// The variant's name ("AttackHigh"), for failure reports.
std::string debug_repr(MotionCommandClass command_class);

// Fails the check at the first pair of rows that is not strictly ascending.
void require_strictly_sorted(std::span<const MotionCommandRow> rows);

namespace tests {
RUNNER_DECLARE_CHECK(table_is_strictly_sorted_for_binary_search);
RUNNER_DECLARE_CHECK(lookup_known_commands);
RUNNER_DECLARE_CHECK(classify_known_commands);
}  // namespace tests

}  // namespace common::motion_command_names
