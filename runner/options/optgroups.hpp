#pragma once

#include <span>
#include <string_view>

namespace runner {

enum class HasArg { No, Yes };
enum class Occur { Once, Multi };  // Multi: may be given any number of times

// One command-line option: its names, whether it takes a value, and how the help screen shows it.
struct OptGroup {
    std::string_view short_name;  // one letter, or empty
    std::string_view long_name;   // empty for a letter-only option
    std::string_view hint;        // placeholder for the value in the help screen
    std::string_view desc;        // help text; may span several lines
    HasArg hasarg = HasArg::No;
    Occur occur = Occur::Once;
    bool in_help = true;
};

// The runner's options, in the order of the help screen.
std::span<const OptGroup> optgroups();

}  // namespace runner
