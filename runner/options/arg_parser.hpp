#pragma once

#include <cstddef>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "runner/options/optgroups.hpp"

namespace runner {

// What the command line gave: the values of each option and the free arguments.
class ParsedArgs {
  public:
    ParsedArgs(std::span<const OptGroup> options, std::vector<std::vector<std::string>> values,
               std::vector<std::string> free);

    // `name` is an option's long name, or its letter when it has no long name.
    bool present(std::string_view name) const;
    std::optional<std::string> value(std::string_view name) const;
    const std::vector<std::string>& values(std::string_view name) const;
    const std::vector<std::string>& free() const { return free_; }

  private:
    std::span<const OptGroup> options_;
    std::vector<std::vector<std::string>> values_;  // per option, one entry per occurrence
    std::vector<std::string> free_;
};

// Splits the arguments (program path already removed) into options and free arguments. Gives
// the parse error text on failure.
std::expected<ParsedArgs, std::string> parse_args(std::span<const OptGroup> options,
                                                  std::span<const std::string> args);

}  // namespace runner
