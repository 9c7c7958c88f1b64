#pragma once

#include <expected>
#include <optional>
#include <ostream>
#include <string>
#include <variant>
#include <vector>

#include "runner/options/environment.hpp"
#include "runner/types.hpp"

namespace runner {

// A bad command line: printed as "error: " and the text, status 101.
struct OptionError {
    std::string text;
};

// A bad environment variable value: ends the program as a failure of the main thread.
struct MainThreadFailure {
    std::string message;
};

using OptsFailure = std::variant<OptionError, MainThreadFailure>;

// Reads the command line (program path first) and the runner's environment variables. Gives
// the options; nothing when help was asked for (the help screen is then written to `out`); or
// the first failure. The deprecation warning for --logfile is written to `out`, or as a line to
// `err` for the json and junit formats.
std::expected<std::optional<TestOpts>, OptsFailure> read_opts(
    const std::vector<std::string>& arguments, const EnvLookup& env, std::ostream& out,
    std::ostream& err);

}  // namespace runner
