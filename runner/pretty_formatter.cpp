#include "runner/pretty_formatter.hpp"

#include <algorithm>
#include <string>

#include "runner/outcome.hpp"
#include "runner/time_display.hpp"
#include "text.hpp"

namespace runner {
namespace {

std::string count_of(std::size_t count, std::string_view word) {
    std::string text = std::to_string(count);
    text.append(" ").append(word);
    if (count != 1) {
        text.push_back('s');
    }
    return text;
}

std::string with_thousands_separators(std::uint64_t value) {
    const std::string digits = std::to_string(value);
    std::string text;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i != 0 && (digits.size() - i) % 3 == 0) {
            text.push_back(',');
        }
        text.push_back(digits[i]);
    }
    return text;
}

}  // namespace

std::string format_bench_samples(const BenchSamples& samples) {
    std::string median = with_thousands_separators(static_cast<std::uint64_t>(samples.median_ns));
    std::string text(median.size() < 14 ? 14 - median.size() : 0, ' ');
    text.append(median).append(" ns/iter (+/- ");
    text.append(with_thousands_separators(static_cast<std::uint64_t>(samples.deviation_ns)));
    text.push_back(')');
    if (samples.mb_s != 0) {
        text.append(" = ").append(std::to_string(samples.mb_s)).append(" MB/s");
    }
    return text;
}

PrettyFormatter::PrettyFormatter(std::unique_ptr<OutputLocation> out, bool use_color,
                                 bool is_multithreaded, std::optional<TestTimeOptions> time_options)
    : out_{std::move(out)},
      use_color_{use_color},
      is_multithreaded_{is_multithreaded},
      time_options_{std::move(time_options)} {}

IoResult PrettyFormatter::write_plain(std::string_view text) {
    if (auto written = out_->write(text); !written) {
        return written;
    }
    return out_->flush();
}

IoResult PrettyFormatter::write_colored(std::string_view word, Color color) {
    if (use_color_) {
        if (auto set = out_->set_color(color); !set) {
            return set;
        }
    }
    if (auto written = out_->write(word); !written) {
        return written;
    }
    if (use_color_) {
        if (auto reset = out_->reset_color(); !reset) {
            return reset;
        }
    }
    return out_->flush();
}

IoResult PrettyFormatter::write_test_name(const TestDesc& desc) {
    std::string text = "test ";
    text.append(desc.name);
    if (!desc.ignore && desc.should_panic.mode != ShouldPanic::Mode::No) {
        text.append(" - should panic");
    }
    text.append(" ... ");
    return write_plain(text);
}

IoResult PrettyFormatter::write_outcome_word(const TestDesc& desc, const TestResult& result) {
    if (std::holds_alternative<result::Passed>(result)) {
        return write_colored("ok", Color::Green);
    }
    if (std::holds_alternative<result::Failed>(result) ||
        std::holds_alternative<result::FailedWithMessage>(result)) {
        return write_colored("FAILED", Color::Red);
    }
    if (std::holds_alternative<result::FailedTimeLimit>(result)) {
        return write_colored("FAILED (time limit exceeded)", Color::Red);
    }
    if (const auto* measured = std::get_if<result::Measured>(&result)) {
        if (auto written = write_colored("bench", Color::Cyan); !written) {
            return written;
        }
        return write_plain(": " + format_bench_samples(measured->samples));
    }
    if (auto written = write_colored("ignored", Color::Yellow); !written) {
        return written;
    }
    return desc.ignore_message ? write_plain(", " + *desc.ignore_message) : IoResult{};
}

IoResult PrettyFormatter::write_time(const TestDesc& desc,
                                     const std::optional<TestExecTime>& exec_time) {
    if (!time_options_ || !exec_time) {
        return {};
    }
    const std::string text = " <" + display(*exec_time) + ">";
    const TimeThreshold& limits = time_threshold(*time_options_, desc.test_kind);
    if (exec_time->duration >= limits.critical) {
        return write_colored(text, Color::Red);
    }
    if (exec_time->duration >= limits.warn) {
        return write_colored(text, Color::Yellow);
    }
    return write_plain(text);
}

IoResult PrettyFormatter::write_results(const std::vector<DescAndOutput>& listed,
                                        std::string_view title) {
    std::string heading = "\n";
    heading.append(title).append(":\n");
    std::string outputs;
    std::vector<std::string> names;
    for (const auto& [desc, output] : listed) {
        names.push_back(desc.name);
        if (!output.empty()) {
            outputs.append("---- ").append(desc.name).append(" stdout ----\n");
            outputs.append(tarnwick_dat::utf8_lossy(output)).push_back('\n');
        }
    }
    std::string text = heading;
    if (!outputs.empty()) {
        text.append("\n").append(outputs);
    }
    text.append(heading);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        text.append("    ").append(name).push_back('\n');
    }
    return write_plain(text);
}

IoResult PrettyFormatter::write_discovery_start() {
    return {};
}

IoResult PrettyFormatter::write_test_discovered(const TestDesc& desc, std::string_view kind_word) {
    std::string text = desc.name;
    text.append(": ").append(kind_word).push_back('\n');
    return write_plain(text);
}

IoResult PrettyFormatter::write_discovery_finish(const ConsoleTestDiscoveryState& state) {
    std::string text = state.tests + state.benchmarks != 0 ? "\n" : "";
    text.append(count_of(state.tests, "test")).append(", ");
    text.append(count_of(state.benchmarks, "benchmark")).push_back('\n');
    return write_plain(text);
}

IoResult PrettyFormatter::write_run_start(std::size_t test_count,
                                          std::optional<std::uint64_t> shuffle_seed) {
    std::string text = "\nrunning ";
    text.append(std::to_string(test_count)).append(test_count == 1 ? " test" : " tests");
    if (shuffle_seed) {
        text.append(" (shuffle seed: ").append(std::to_string(*shuffle_seed)).push_back(')');
    }
    text.push_back('\n');
    return write_plain(text);
}

IoResult PrettyFormatter::write_test_start(const TestDesc& desc) {
    // A multi-threaded run writes each line whole once the check is done.
    return is_multithreaded_ ? IoResult{} : write_test_name(desc);
}

IoResult PrettyFormatter::write_timeout(const TestDesc& desc) {
    std::string text = "test ";
    text.append(desc.name).append(" has been running for over 60 seconds\n");
    return write_plain(text);
}

IoResult PrettyFormatter::write_result(const TestDesc& desc, const TestResult& result,
                                       const std::optional<TestExecTime>& exec_time,
                                       std::string_view, const ConsoleTestState&) {
    if (is_multithreaded_) {
        if (auto written = write_test_name(desc); !written) {
            return written;
        }
    }
    if (auto written = write_outcome_word(desc, result); !written) {
        return written;
    }
    if (auto written = write_time(desc, exec_time); !written) {
        return written;
    }
    return write_plain("\n");
}

std::expected<bool, IoError> PrettyFormatter::write_run_finish(const ConsoleTestState& state) {
    if (state.show_output) {
        if (auto written = write_results(state.not_failures, "successes"); !written) {
            return std::unexpected{written.error()};
        }
    }
    const bool success = state.failed == 0;
    if (!success && !state.failures.empty()) {
        if (auto written = write_results(state.failures, "failures"); !written) {
            return std::unexpected{written.error()};
        }
    }
    if (!success && !state.time_failures.empty()) {
        if (auto written = write_results(state.time_failures, "failures (time limit exceeded)");
            !written) {
            return std::unexpected{written.error()};
        }
    }
    if (auto written = write_plain("\ntest result: "); !written) {
        return std::unexpected{written.error()};
    }
    if (auto written =
            success ? write_colored("ok", Color::Green) : write_colored("FAILED", Color::Red);
        !written) {
        return std::unexpected{written.error()};
    }
    std::string summary = ". ";
    summary.append(std::to_string(state.passed)).append(" passed; ");
    summary.append(std::to_string(state.failed)).append(" failed; ");
    summary.append(std::to_string(state.ignored)).append(" ignored; ");
    summary.append(std::to_string(state.measured)).append(" measured; ");
    summary.append(std::to_string(state.filtered_out)).append(" filtered out");
    if (state.exec_time) {
        summary.append("; finished in ").append(display(*state.exec_time));
    }
    summary.append("\n\n");
    if (state.ignored == 1 && state.total == 1 && !state.ignores.empty()) {
        const TestDesc& only = state.ignores.front().first;
        if (only.ignore_message) {
            summary.append("test: ").append(only.name).append(", ignore_message: ");
            summary.append(*only.ignore_message).append("\n\n");
        }
    }
    if (auto written = write_plain(summary); !written) {
        return std::unexpected{written.error()};
    }
    return success;
}

}  // namespace runner
