#pragma once

// Test support: runs the check program as a child process and collects what it wrote.

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "runner/test_support/test_helpers.hpp"
#include "tarnwick_base/test_support/program_run.hpp"

extern char** environ;

namespace check_program {

using tarnwick_base::test_support::ProgramRun;
using tarnwick_base::test_support::read_file;
using tarnwick_base::test_support::StandardOutput;

// The environment of this process without the runner's and the archive locator's variables
// and those `extra` sets, plus `extra`.
inline std::vector<std::string> child_environment(const std::map<std::string, std::string>& extra) {
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text{*entry};
        const std::string name{text.substr(0, text.find('='))};
        if (!text.starts_with("ORRA") && name != "TARNWICK_PORTAL_DAT" && !extra.contains(name)) {
            env.emplace_back(text);
        }
    }
    for (const auto& [name, value] : extra) {
        env.push_back(name + "=" + value);
    }
    return env;
}

// Runs the program (or its build named `program_name`) with `args`, in this process's
// environment changed as `child_environment` says.
inline ProgramRun run_program(std::vector<std::string> args,
                              const std::map<std::string, std::string>& extra_env = {},
                              StandardOutput standard_output = StandardOutput::File,
                              std::string_view program_name = "clothing_parity") {
    return tarnwick_base::test_support::run_program(
        tarnwick_base::test_support::program_path(program_name), std::move(args),
        child_environment(extra_env), standard_output);
}

// The report with run times, thread ids and assertion locations replaced by placeholders.
inline std::string mask_report(const std::string& text) {
    return runner::testing::mask_between(runner::testing::mask_variable_parts(text), "panicked at ",
                                         ":\n", "<location>");
}

}  // namespace check_program
