#pragma once

#include <cstddef>
#include <string_view>

namespace runner {

// Where a check's name stands in its source file, recorded where the check is defined so that
// descriptors never carry stale line numbers.
struct CheckSite {
    std::string_view file;
    std::size_t line;
};

// A check defined with RUNNER_CHECK at the start of a line has its name at this column.
inline constexpr std::size_t CHECK_NAME_COLUMN = sizeof("RUNNER_CHECK(");

}  // namespace runner

// Declares the check `name` and its site `name_site`.
#define RUNNER_DECLARE_CHECK(name)                \
    extern const ::runner::CheckSite name##_site; \
    void name()

// Defines the check `name`; write it at the start of a line, followed by the body.
#define RUNNER_CHECK(name)                                     \
    const ::runner::CheckSite name##_site{__FILE__, __LINE__}; \
    void name()
