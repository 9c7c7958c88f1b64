#include "runner/options/opts_reader.hpp"

#include <span>

#include "runner/options/arg_parser.hpp"
#include "runner/options/help.hpp"
#include "runner/options/number_parse.hpp"
#include "runner/options/optgroups.hpp"
#include "runner/options/time_threshold.hpp"
#include "tarnwick_base/expected.hpp"

namespace runner {
namespace {

template <typename T>
using Step = std::expected<T, OptsFailure>;

std::unexpected<OptsFailure> option_error(std::string text) {
    return std::unexpected(OptsFailure{OptionError{std::move(text)}});
}

std::unexpected<OptsFailure> main_thread_failure(std::string message) {
    return std::unexpected(OptsFailure{MainThreadFailure{std::move(message)}});
}

// A variable that counts as on when set to anything but "0".
bool env_switch(const EnvLookup& env, std::string_view name) {
    const auto value = env(name);
    return value && *value != "0";
}

std::string nightly_only(std::string_view what, std::string_view kind) {
    std::string text = "The \"";
    text.append(what).append("\" ").append(kind).append(
        " is only accepted on the nightly compiler with -Z unstable-options");
    return text;
}

Step<bool> allow_unstable(const ParsedArgs& args, const EnvLookup& env) {
    const auto z = args.value("Z");
    if (!z) {
        return false;
    }
    // Only a bootstrapping build (ORRAC_BOOTSTRAP set) accepts -Z at all, as required; the
    // nightly-only flags and formats depend on it.
    if (!env("ORRAC_BOOTSTRAP")) {
        return option_error("the option `Z` is only accepted on the nightly compiler");
    }
    if (*z != "unstable-options") {
        return option_error("Unrecognized option to `Z`");
    }
    return true;
}

Step<void> check_unstable_flags(const ParsedArgs& args, bool allowed) {
    constexpr std::string_view unstable_flags[] = {
        "force-run-in-process", "exclude-should-panic", "fail-fast",
        "report-time",          "ensure-time",          "shuffle"};
    for (const auto flag : unstable_flags) {
        if (!allowed && args.present(flag)) {
            return option_error(nightly_only(flag, "flag"));
        }
    }
    return {};
}

Step<std::optional<TestTimeOptions>> time_options(const ParsedArgs& args, const EnvLookup& env) {
    const bool ensure_time = args.present("ensure-time");
    if (!args.present("report-time") && !ensure_time) {
        return std::nullopt;
    }
    auto options = time_options_from_env(ensure_time, env);
    if (!options) {
        return main_thread_failure(std::move(options.error()));
    }
    return *options;
}

Step<std::optional<std::uint64_t>> shuffle_seed(const ParsedArgs& args, bool allowed,
                                                const EnvLookup& env) {
    if (const auto given = args.value("shuffle-seed")) {
        if (!allowed) {
            return option_error(nightly_only("shuffle-seed", "option"));
        }
        const auto seed = parse_u64(*given);
        if (!seed) {
            std::string text = "argument for --shuffle-seed must be a number (error: ";
            text.append(number_error_text(seed.error())).append(")");
            return option_error(std::move(text));
        }
        return *seed;
    }
    if (!allowed) {
        return std::nullopt;
    }
    const auto variable = env("ORRA_TEST_SHUFFLE_SEED");
    if (!variable) {
        return std::nullopt;
    }
    const auto seed = parse_u64(*variable);
    if (!seed) {
        std::string message = "ORRA_TEST_SHUFFLE_SEED is `";
        message.append(*variable).append("`, should be a number.");
        return main_thread_failure(std::move(message));
    }
    return *seed;
}

Step<RunIgnored> run_ignored(const ParsedArgs& args) {
    const bool include = args.present("include-ignored");
    const bool only = args.present("ignored");
    if (include && only) {
        return option_error("the options --include-ignored and --ignored are mutually exclusive");
    }
    if (include) {
        return RunIgnored::Yes;
    }
    return only ? RunIgnored::Only : RunIgnored::No;
}

Step<std::optional<std::size_t>> test_threads(const ParsedArgs& args) {
    const auto given = args.value("test-threads");
    if (!given) {
        return std::nullopt;
    }
    const auto count = parse_nonzero_u64(*given);
    if (!count) {
        std::string text = "argument for --test-threads must be a number > 0 (error: ";
        text.append(number_error_text(count.error())).append(")");
        return option_error(std::move(text));
    }
    return static_cast<std::size_t>(*count);
}

Step<ColorConfig> color(const ParsedArgs& args) {
    const auto given = args.value("color");
    if (!given || *given == "auto") {
        return ColorConfig::Auto;
    }
    if (*given == "always") {
        return ColorConfig::Always;
    }
    if (*given == "never") {
        return ColorConfig::Never;
    }
    return option_error("argument for --color must be auto, always, or never (was " + *given + ")");
}

Step<OutputFormat> format(const ParsedArgs& args, bool quiet, bool allowed) {
    const auto given = args.value("format");
    if (!given) {
        return quiet ? OutputFormat::Terse : OutputFormat::Pretty;
    }
    if (*given == "pretty") {
        return OutputFormat::Pretty;
    }
    if (*given == "terse") {
        return OutputFormat::Terse;
    }
    if (*given == "json" || *given == "junit") {
        if (!allowed) {
            return option_error(nightly_only(*given, "format"));
        }
        return *given == "json" ? OutputFormat::Json : OutputFormat::Junit;
    }
    return option_error("argument for --format must be pretty, terse, json or junit (was " +
                        *given + ")");
}

// Stores the value of `step` in `target`, or gives the step's failure.
template <typename Target, typename T>
Step<void> assign(Target& target, Step<T> step) {
    if (!step) {
        return tarnwick_base::take_error(step);
    }
    target = std::move(*step);
    return {};
}

// The option values, in the order in which their errors take precedence.
Step<TestOpts> read_values(const ParsedArgs& args, const EnvLookup& env) {
    TestOpts opts;
    bool allowed = false;
    TARNWICK_TRY(assign(allowed, allow_unstable(args, env)));
    TARNWICK_TRY(check_unstable_flags(args, allowed));
    opts.force_run_in_process = args.present("force-run-in-process");
    opts.exclude_should_panic = args.present("exclude-should-panic");
    opts.fail_fast = args.present("fail-fast");
    TARNWICK_TRY(assign(opts.time_options, time_options(args, env)));

    opts.shuffle = args.present("shuffle") || (allowed && env_switch(env, "ORRA_TEST_SHUFFLE"));
    TARNWICK_TRY(assign(opts.shuffle_seed, shuffle_seed(args, allowed, env)));

    const bool quiet = args.present("quiet");
    opts.filter_exact = args.present("exact");
    opts.list = args.present("list");
    opts.skip = args.values("skip");
    opts.bench_benchmarks = args.present("bench");
    opts.run_tests = !opts.bench_benchmarks || args.present("test");
    if (const auto logfile = args.value("logfile")) {
        opts.logfile = *logfile;
    }
    opts.filters = args.free();
    TARNWICK_TRY(assign(opts.run_ignored, run_ignored(args)));

    opts.nocapture = args.present("nocapture") || args.present("no-capture") ||
                     env_switch(env, "ORRA_TEST_NOCAPTURE");
    TARNWICK_TRY(assign(opts.test_threads, test_threads(args)));
    TARNWICK_TRY(assign(opts.color, color(args)));
    TARNWICK_TRY(assign(opts.format, format(args, quiet, allowed)));
    opts.show_output = args.present("show-output");
    return opts;
}

}  // namespace

std::expected<std::optional<TestOpts>, OptsFailure> read_opts(
    const std::vector<std::string>& arguments, const EnvLookup& env, std::ostream& out,
    std::ostream& err) {
    const std::string_view program =
        arguments.empty() ? std::string_view("...") : std::string_view(arguments.front());
    const std::span<const std::string> rest =
        arguments.empty() ? std::span<const std::string>{}
                          : std::span<const std::string>(arguments).subspan(1);
    const auto args = parse_args(optgroups(), rest);
    if (!args) {
        return option_error(args.error());
    }
    if (args->present("help")) {
        out << help_text(program, optgroups());
        out.flush();
        return std::nullopt;
    }
    auto opts = read_values(*args, env);
    if (!opts) {
        return tarnwick_base::take_error(opts);
    }
    if (opts->logfile) {
        // The machine-read formats must start with their own first byte, so the warning goes
        // to standard error there, as a line of its own.
        constexpr std::string_view warning = "warning: `--logfile` is deprecated";
        if (opts->format == OutputFormat::Json || opts->format == OutputFormat::Junit) {
            err << warning << '\n' << std::flush;
        } else {
            out << warning << std::flush;
        }
    }
    return std::optional<TestOpts>(std::move(*opts));
}

}  // namespace runner
