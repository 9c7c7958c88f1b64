#pragma once

namespace tarnwick_tool {

// Reads the command line and runs the subcommand it names. Usage errors end with status 2, the
// message on standard error and nothing on standard output; --help and --version with 0.
int run_command_line(int argc, char** argv);

}  // namespace tarnwick_tool
