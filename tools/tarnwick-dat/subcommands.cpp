#include "subcommand.hpp"

#include <array>

namespace tarnwick_tool {

// The one list of subcommands: a new one is a new file and a line here.
#define TARNWICK_TOOL_SUBCOMMANDS(X) \
    X(info)                          \
    X(ls)                            \
    X(cat)                           \
    X(extract)                       \
    X(clothing)                      \
    X(verify)                        \
    X(mount)

#define TARNWICK_TOOL_DECLARE(name) Subcommand name##_subcommand();
TARNWICK_TOOL_SUBCOMMANDS(TARNWICK_TOOL_DECLARE)
#undef TARNWICK_TOOL_DECLARE

std::span<const Subcommand> subcommands() {
#define TARNWICK_TOOL_ENTRY(name) name##_subcommand(),
    static const std::array all{TARNWICK_TOOL_SUBCOMMANDS(TARNWICK_TOOL_ENTRY)};
#undef TARNWICK_TOOL_ENTRY
    return all;
}

}  // namespace tarnwick_tool
