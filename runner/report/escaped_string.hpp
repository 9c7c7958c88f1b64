#pragma once

#include <string>
#include <string_view>

namespace runner {

// A text written with JSON string escaping (the quotes around it are not part of it).
struct EscapedString {
    std::string_view text;

    void append_to(std::string& out) const;
};

}  // namespace runner
