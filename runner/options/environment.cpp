#include "runner/options/environment.hpp"

#include <cstdlib>

namespace runner {

EnvLookup process_environment() {
    return [](std::string_view name) -> std::optional<std::string> {
        const char* value = std::getenv(std::string(name).c_str());
        if (value == nullptr) {
            return std::nullopt;
        }
        return std::string(value);
    };
}

}  // namespace runner
