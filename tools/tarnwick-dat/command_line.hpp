#pragma once

#include <optional>
#include <span>
#include <string_view>
#include <variant>

#include "subcommand.hpp"

namespace tarnwick_tool {

// A subcommand with its command line read, ready to run.
using ParsedCommand = CommandRun;

// Reads the command line without running anything: the subcommand to run, or the exit status
// when there is none (--help and --version printed: 0; a usage error reported on standard
// error, nothing on standard output: 2). `help [SUBCOMMAND]` is the same as `[SUBCOMMAND] --help`.
std::variant<ParsedCommand, int> parse_command_line(int argc, const char* const* argv);

// Reads the command line and runs the subcommand it names, giving its exit status. Memory that
// runs out is reported, status 1, never an abort.
int run_command_line(int argc, const char* const* argv);

// Of `names`, the one nearest to `typed` when it is close enough to be a slip of the keyboard
// (at most two edits, or `typed` begins it).
std::optional<std::string_view> nearest_name(std::string_view typed,
                                             std::span<const std::string_view> names);

}  // namespace tarnwick_tool
