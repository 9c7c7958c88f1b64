#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace runner {

// Reads one environment variable: its value, or nothing when it is not set. Passed in so that
// the option rules can be exercised without touching the process environment.
using EnvLookup = std::function<std::optional<std::string>(std::string_view name)>;

// The process environment.
EnvLookup process_environment();

}  // namespace runner
