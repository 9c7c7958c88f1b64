#pragma once

#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "runner/options/environment.hpp"
#include "runner/types.hpp"

namespace runner {

// The limits in the variable `name` ("WARN_MS,CRITICAL_MS"): nothing when it is not set, or the
// message with which the main thread fails when its value is malformed.
std::expected<std::optional<TimeThreshold>, std::string> time_threshold_from_env_var(
    std::string_view name, const EnvLookup& env);

// The time options with every kind's limits taken from its variable where one is set.
std::expected<TestTimeOptions, std::string> time_options_from_env(bool error_on_excess,
                                                                  const EnvLookup& env);

}  // namespace runner
