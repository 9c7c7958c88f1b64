#pragma once

#include <variant>

#include "commands.hpp"
#include "diff.hpp"
#include "manifest.hpp"
#include "pack.hpp"

namespace tarnwick_tool {

// A subcommand with its command line read, ready to run.
using ParsedCommand =
    std::variant<InfoCommand, LsCommand, CatCommand, ExtractCommand, ClothingCommand, VerifyCommand,
                 DiffCommand, ManifestCommand, PackCommand>;

// Reads the command line without running anything: the subcommand to run, or the exit status
// when there is none (--help and --version printed: 0; a usage error reported on standard
// error, nothing on standard output: 2).
std::variant<ParsedCommand, int> parse_command_line(int argc, const char* const* argv);

// Reads the command line and runs the subcommand it names, giving its exit status.
int run_command_line(int argc, const char* const* argv);

}  // namespace tarnwick_tool
