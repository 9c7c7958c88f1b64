#pragma once

#include <expected>
#include <string_view>

#include "tarnwick_base/io_error.hpp"

namespace runner {

using IoError = tarnwick_base::IoError;
using IoResult = std::expected<void, IoError>;

// Terminal colour numbers.
enum class Color { Red = 1, Green = 2, Yellow = 3, Cyan = 6 };

// Where a report is written: plain standard output, or a terminal that may colour words.
class OutputLocation {
  public:
    virtual ~OutputLocation() = default;
    virtual IoResult write(std::string_view bytes) = 0;
    virtual IoResult flush() = 0;
    virtual bool supports_color() const { return false; }
    virtual IoResult set_color(Color) { return {}; }
    virtual IoResult reset_color() { return {}; }
};

}  // namespace runner
