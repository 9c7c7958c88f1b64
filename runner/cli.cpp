#include "runner/cli.hpp"

#include <iostream>

#include "runner/environment.hpp"
#include "runner/opts_reader.hpp"
#include "runner/panic.hpp"

namespace runner {

std::expected<std::optional<TestOpts>, std::string> parse_opts(
    const std::vector<std::string>& arguments) {
    auto opts = read_opts(arguments, process_environment(), std::cout);
    if (opts) {
        return std::move(*opts);
    }
    if (const auto* failure = std::get_if<MainThreadFailure>(&opts.error())) {
        fail_main_thread(failure->message);
    }
    return std::unexpected(std::move(std::get<OptionError>(opts.error()).text));
}

}  // namespace runner
