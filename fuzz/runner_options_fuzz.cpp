// The input as a command line and environment: pieces between zero bytes are arguments, except
// those of the form ORRA...=VALUE or TERM...=VALUE, which set that variable. Reading them ends
// with options, the help screen, or a failure with its text.

#include <map>
#include <sstream>

#include "fuzz_input.hpp"
#include "runner/options/opts_reader.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> arguments{"prog"};
    std::map<std::string, std::string, std::less<>> variables;
    for (std::string& piece : tarnwick_fuzz::split_at_zeros({data, size})) {
        const std::size_t equals = piece.find('=');
        if ((piece.starts_with("ORRA") || piece.starts_with("TERM")) &&
            equals != std::string::npos) {
            variables[piece.substr(0, equals)] = piece.substr(equals + 1);
        } else {
            arguments.push_back(std::move(piece));
        }
    }
    const runner::EnvLookup env = [&](std::string_view name) -> std::optional<std::string> {
        const auto found = variables.find(name);
        return found == variables.end() ? std::nullopt : std::optional{found->second};
    };
    std::ostringstream out;
    std::ostringstream err;
    const auto opts = runner::read_opts(arguments, env, out, err);
    if (opts && *opts && (*opts)->test_threads) {
        tarnwick_fuzz::require(*(*opts)->test_threads > 0, "a thread count of 0 was accepted");
    }
    if (!opts) {
        const bool has_text = std::visit(
            [](const auto& failure) {
                if constexpr (requires { failure.text; }) {
                    return !failure.text.empty();
                } else {
                    return !failure.message.empty();
                }
            },
            opts.error());
        tarnwick_fuzz::require(has_text, "a failure without a text");
    }
    return 0;
}
