#include "runner/options/time_threshold.hpp"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <utility>

#include "runner/options/number_parse.hpp"
#include "tarnwick_base/expected.hpp"

namespace runner {
namespace {

std::expected<std::uint64_t, std::string> parse_millis(std::string_view name,
                                                       std::string_view text) {
    const auto millis = parse_u64(text);
    if (!millis) {
        std::string message = "Duration value in variable ";
        message.append(name).append(" is expected to be a number, but got ").append(text);
        return std::unexpected(std::move(message));
    }
    return *millis;
}

// Limits beyond what a nanosecond count can hold (about 292 years) are held at the largest one.
std::chrono::nanoseconds to_duration(std::uint64_t millis) {
    constexpr auto max_millis = static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::nanoseconds::max())
            .count());
    return std::chrono::milliseconds(static_cast<std::int64_t>(std::min(millis, max_millis)));
}

}  // namespace

std::expected<std::optional<TimeThreshold>, std::string> time_threshold_from_env_var(
    std::string_view name, const EnvLookup& env) {
    const auto value = env(name);
    if (!value) {
        return std::optional<TimeThreshold>{};
    }
    const std::size_t comma = value->find(',');
    if (comma == std::string::npos) {
        std::string message = "Duration variable ";
        message.append(name)
            .append(" expected to have 2 numbers separated by comma, but got ")
            .append(*value);
        return std::unexpected(std::move(message));
    }
    const std::string_view text(*value);
    auto warn = parse_millis(name, text.substr(0, comma));
    if (!warn) {
        return tarnwick_base::take_error(warn);
    }
    auto critical = parse_millis(name, text.substr(comma + 1));
    if (!critical) {
        return tarnwick_base::take_error(critical);
    }
    if (*warn > *critical) {
        return std::unexpected(
            std::string("Test execution warn time should be less or equal to the critical time"));
    }
    return TimeThreshold{to_duration(*warn), to_duration(*critical)};
}

std::expected<TestTimeOptions, std::string> time_options_from_env(bool error_on_excess,
                                                                  const EnvLookup& env) {
    TestTimeOptions options;
    options.error_on_excess = error_on_excess;
    const std::pair<std::string_view, TimeThreshold*> variables[] = {
        {"ORRA_TEST_TIME_UNIT", &options.unit_threshold},
        {"ORRA_TEST_TIME_INTEGRATION", &options.integration_threshold},
        {"ORRA_TEST_TIME_DOCTEST", &options.doctest_threshold},
    };
    for (const auto& [name, threshold] : variables) {
        auto read = time_threshold_from_env_var(name, env);
        if (!read) {
            return tarnwick_base::take_error(read);
        }
        if (*read) {
            *threshold = **read;
        }
    }
    return options;
}

}  // namespace runner
