#pragma once

// Helpers shared by the runner's unit tests.

#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "runner/options/environment.hpp"
#include "runner/types.hpp"

namespace runner::testing {

// What a shell command printed, or nothing when it could not run or failed.
inline std::optional<std::string> command_output(const std::string& command) {
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return std::nullopt;
    }
    std::string out;
    char buffer[256];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        out.append(buffer, n);
    }
    return ::pclose(pipe) == 0 ? std::optional{out} : std::nullopt;
}

// An environment that holds `vars` and nothing else.
inline EnvLookup fake_env(std::map<std::string, std::string, std::less<>> vars) {
    return [vars = std::move(vars)](std::string_view name) -> std::optional<std::string> {
        const auto found = vars.find(name);
        return found == vars.end() ? std::nullopt : std::optional{found->second};
    };
}

inline TestDescAndFn check(std::string name, DynTestFn body,
                           ShouldPanic should_panic = ShouldPanic::no()) {
    TestDesc desc;
    desc.name = std::move(name);
    desc.should_panic = std::move(should_panic);
    desc.test_kind = TestKind::Integration;
    return {std::move(desc), std::move(body)};
}

inline TestOpts serial_opts() {
    TestOpts opts;
    opts.test_threads = 1;
    return opts;
}

// `text` with whatever stands between each `before` and the next `after` replaced.
inline std::string mask_between(std::string text, std::string_view before, std::string_view after,
                                std::string_view replacement) {
    for (std::size_t at = text.find(before); at != std::string::npos; at = text.find(before, at)) {
        const std::size_t begin = at + before.size();
        const std::size_t end = text.find(after, begin);
        if (end == std::string::npos) {
            break;
        }
        text.replace(begin, end - begin, replacement);
        at = begin + replacement.size() + after.size();
    }
    return text;
}

// The report with run times and thread ids replaced by fixed words.
inline std::string mask_variable_parts(std::string report) {
    report = mask_between(std::move(report), "finished in ", "s\n", "<time>");
    return mask_between(std::move(report), "' (", ") panicked", "<id>");
}

}  // namespace runner::testing
