#include "runner/cli.hpp"

#include <sstream>

#include "runner/check/panic.hpp"
#include "runner/execution/capture.hpp"
#include "runner/options/environment.hpp"
#include "runner/options/opts_reader.hpp"
#include "runner/report/report_text.hpp"
#include "runner/terminal/stdout_output.hpp"

namespace runner {

std::expected<std::optional<TestOpts>, std::string> parse_opts(
    const std::vector<std::string>& arguments) {
    std::ostringstream out;
    std::ostringstream err;
    auto opts = read_opts(arguments, process_environment(), out, err);
    eprint(err.str());
    StdoutOutput stdout_output;
    if (auto written = write_text(stdout_output, out.str()); !written) {
        exit_with_output_error(written.error());
    }
    if (opts) {
        return std::move(*opts);
    }
    if (const auto* failure = std::get_if<MainThreadFailure>(&opts.error())) {
        fail_main_thread(failure->message);
    }
    return std::unexpected(std::move(std::get<OptionError>(opts.error()).text));
}

}  // namespace runner
