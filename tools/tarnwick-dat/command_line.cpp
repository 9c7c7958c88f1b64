#include "command_line.hpp"

#include <algorithm>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "report.hpp"

namespace tarnwick_tool {

namespace {

constexpr const char* version_text = "tarnwick-dat 0.1.0";

constexpr std::string_view exit_statuses =
    "Exit status: 0 all went well; 1 something failed (the reasons are on standard error); 2 a "
    "usage error; 141 standard output was closed (as by `| head`).";

std::size_t edit_distance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j < row.size(); ++j) {
        row[j] = j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

std::vector<std::string_view> subcommand_names() {
    std::vector<std::string_view> names{"help"};
    for (const Subcommand& subcommand : subcommands()) {
        names.push_back(subcommand.name);
    }
    return names;
}

std::string unknown_subcommand(std::string_view typed) {
    const std::vector<std::string_view> names = subcommand_names();
    std::string text = "unknown subcommand '" + shown_text(typed) + "'";
    if (const auto near = nearest_name(typed, names)) {
        text += "; did you mean '" + std::string{*near} + "'?";
    } else {
        text += "; the subcommands are:";
        for (const std::string_view name : names) {
            text += " " + std::string{name};
        }
    }
    return text + "\nRun 'tarnwick-dat --help' for more information.";
}

std::string examples() {
    std::string text = "Examples:\n";
    for (const Subcommand& subcommand : subcommands()) {
        text += "  tarnwick-dat " + std::string{subcommand.example} + "\n";
    }
    return text;
}

}  // namespace

std::optional<std::string_view> nearest_name(std::string_view typed,
                                             std::span<const std::string_view> names) {
    std::optional<std::string_view> nearest;
    std::size_t best = 3;
    for (const std::string_view name : names) {
        const std::size_t distance =
            typed.size() >= 2 && name.starts_with(typed) ? 1 : edit_distance(typed, name);
        if (distance < best && distance < std::max<std::size_t>(typed.size(), 2)) {
            best = distance;
            nearest = name;
        }
    }
    return nearest;
}

std::variant<ParsedCommand, int> parse_command_line(int argc, const char* const* argv) {
    std::vector<std::string> args{argv, argv + argc};
    if (args.size() >= 2 && args[1] == "help") {
        if (args.size() > 3) {
            report_error(
                "help takes at most one subcommand\nRun 'tarnwick-dat --help' for more "
                "information.");
            return 2;
        }
        args.erase(args.begin() + 1);
        args.emplace_back("--help");
    }
    if (args.size() >= 2 && !args[1].starts_with("-") &&
        std::ranges::count(subcommand_names(), std::string_view{args[1]}) == 0) {
        report_error(unknown_subcommand(args[1]));
        return 2;
    }

    CLI::App app{"Looks inside a portal.dat archive: lists, shows, extracts and verifies its files",
                 std::string{tool_name}};
    app.set_version_flag("--version", version_text);
    app.require_subcommand(1);
    app.footer(examples() + "\nRun 'tarnwick-dat help SUBCOMMAND' for one subcommand's options.\n" +
               std::string{exit_statuses});
    std::vector<std::pair<CLI::App*, CommandRun>> defined;
    for (const Subcommand& subcommand : subcommands()) {
        CLI::App* command =
            app.add_subcommand(std::string{subcommand.name}, std::string{subcommand.description});
        command->footer("Example: tarnwick-dat " + std::string{subcommand.example} + "\n\n" +
                        std::string{exit_statuses});
        defined.emplace_back(command, subcommand.define(*command));
    }
    std::vector<const char*> pointers;
    for (const std::string& arg : args) {
        pointers.push_back(arg.c_str());
    }
    try {
        app.parse(static_cast<int>(pointers.size()), pointers.data());
    } catch (const CLI::Success& success) {
        app.exit(success);
        if (!std::cout.flush()) {
            report_error("cannot write to standard output");
            return 1;
        }
        return 0;
    } catch (const CLI::ParseError& error) {
        report_error(std::string{error.what()} + "\nRun with --help for more information.");
        return 2;
    }
    for (const auto& [command, run] : defined) {
        if (command->parsed()) {
            return run;
        }
    }
    return 2;  // not reached: the parse requires one subcommand
}

int run_command_line(int argc, const char* const* argv) {
    try {
        auto parsed = parse_command_line(argc, argv);
        if (const int* status = std::get_if<int>(&parsed)) {
            return *status;
        }
        return std::get<ParsedCommand>(parsed)();
    } catch (const std::bad_alloc&) {
        report_error("out of memory: Cannot allocate memory (os error 12)");
        return 1;
    }
}

}  // namespace tarnwick_tool
