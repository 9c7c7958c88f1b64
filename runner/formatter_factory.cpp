#include "runner/formatter_factory.hpp"

#include <unistd.h>

#include "runner/pretty_formatter.hpp"
#include "runner/stdout_output.hpp"

namespace runner {
namespace {

bool use_color(const TestOpts& opts, const OutputLocation& out) {
    if (!out.supports_color()) {
        return false;
    }
    switch (opts.color) {
        case ColorConfig::Always:
            return true;
        case ColorConfig::Never:
            return false;
        case ColorConfig::Auto:
            break;
    }
    return !opts.nocapture && isatty(STDOUT_FILENO) == 1;
}

}  // namespace

std::unique_ptr<OutputLocation> make_output_location() {
    return std::make_unique<StdoutOutput>();
}

std::unique_ptr<OutputFormatter> make_formatter(const TestOpts& opts,
                                                std::unique_ptr<OutputLocation> out,
                                                bool is_multithreaded) {
    const bool color = use_color(opts, *out);
    // Terse, json and junit join here as they are built; until then every format is pretty.
    return std::make_unique<PrettyFormatter>(std::move(out), color, is_multithreaded,
                                             opts.time_options);
}

}  // namespace runner
