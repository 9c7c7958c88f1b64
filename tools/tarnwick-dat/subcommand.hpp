#pragma once

// A subcommand of the tool. Each lives in a file of its own that defines
// `Subcommand <name>_subcommand()`, and is named once in the list in `subcommands.cpp`.

#include <CLI/CLI.hpp>
#include <functional>
#include <memory>
#include <span>
#include <string_view>

#include "options.hpp"

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
    std::function<CommandRun(CLI::App& app)> define;
};

// A subcommand given an archive first: its command line fills a `Command` (with an `archive`),
// `declare` adding what follows ARCHIVE, and `run` runs it once read.
template <class Command>
Subcommand archive_subcommand(std::string_view name, std::string_view description,
                              std::string_view example, void (*declare)(CLI::App&, Command&),
                              int (*run)(const Command&)) {
    return {name, description, example, [declare, run](CLI::App& app) -> CommandRun {
                auto command = std::make_shared<Command>();
                add_archive(app, command->archive);
                declare(app, *command);
                return [command, run] { return run(*command); };
            }};
}

// Every subcommand, in the order the help lists them.
std::span<const Subcommand> subcommands();

}  // namespace tarnwick_tool
