// tarnwick-dat: looks inside an archive (the subcommands are listed in subcommands.cpp).

#include <csignal>

#include "command_line.hpp"

int main(int argc, char** argv) {
    // A reader that goes away ends the tool at once and silently, as it ends `ls | head`, even
    // when the caller left SIGPIPE ignored.
    std::signal(SIGPIPE, SIG_DFL);
    return tarnwick_tool::run_command_line(argc, argv);
}
