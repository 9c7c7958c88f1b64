// tarnwick-dat: looks inside an archive (info, ls, cat, extract, clothing, verify).

#include <csignal>

#include "command_line.hpp"

int main(int argc, char** argv) {
    // A reader that goes away must show as a failed write, reported, not as a silent death.
    std::signal(SIGPIPE, SIG_IGN);
    return tarnwick_tool::run_command_line(argc, argv);
}
