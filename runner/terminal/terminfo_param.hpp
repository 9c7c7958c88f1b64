#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace runner {

// A parameter or stack value of the terminfo parameter language.
using TermParam = std::variant<std::int32_t, std::string>;

// The variables A-Z that capabilities set (%P) and read (%g), kept across expansions for one
// terminal; a-z live for one expansion only.
struct TermVariables {
    std::array<TermParam, 26> static_vars{};
};

// Expands a capability string with up to nine parameters; malformed strings give an error text.
std::expected<std::string, std::string> expand_capability(std::string_view cap,
                                                          std::span<const TermParam> params,
                                                          TermVariables& vars);

}  // namespace runner
