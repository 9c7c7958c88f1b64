#pragma once

// A subcommand of the tool. Each lives in a file of its own that defines
// `Subcommand <name>_subcommand()`, and is named once in the list in `subcommands.cpp`.

#include <CLI/CLI.hpp>
#include <functional>
#include <span>
#include <string_view>

namespace tarnwick_tool {

// What runs once the command line has been read, giving the exit status: 0 when all went
// well, 1 when anything failed (the reasons on standard error).
using CommandRun = std::function<int()>;

struct Subcommand {
    std::string_view name;
    std::string_view description;
    // A command line that shows what it is for, after the tool's name.
    std::string_view example;
    // Adds the subcommand's arguments and options to `app`, and gives what runs them once read.
    CommandRun (*define)(CLI::App& app);
};

// Every subcommand, in the order the help lists them.
std::span<const Subcommand> subcommands();

}  // namespace tarnwick_tool
