#include "runner/report/formatter_factory.hpp"

#include <unistd.h>

#include "runner/report/json_formatter.hpp"
#include "runner/report/junit_formatter.hpp"
#include "runner/report/pretty_formatter.hpp"
#include "runner/report/terse_formatter.hpp"
#include "runner/terminal/stdout_output.hpp"
#include "runner/terminal/terminal_output.hpp"

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
    return terminal_or_plain(std::make_unique<StdoutOutput>());
}

std::unique_ptr<OutputFormatter> make_formatter(const TestOpts& opts,
                                                std::unique_ptr<OutputLocation> out,
                                                bool is_multithreaded) {
    const bool color = use_color(opts, *out);
    switch (opts.format) {
        case OutputFormat::Terse:
            return std::make_unique<TerseFormatter>(std::move(out), color);
        case OutputFormat::Json:
            return std::make_unique<JsonFormatter>(std::move(out));
        case OutputFormat::Junit:
            // A junit listing is the pretty one.
            if (!opts.list) {
                return std::make_unique<JunitFormatter>(std::move(out));
            }
            break;
        case OutputFormat::Pretty:
            break;
    }
    return std::make_unique<PrettyFormatter>(std::move(out), color, is_multithreaded,
                                             opts.time_options);
}

}  // namespace runner
