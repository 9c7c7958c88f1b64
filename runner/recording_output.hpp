#pragma once

#include <string>

#include "runner/output.hpp"

namespace runner {

// Test double: an output that keeps every byte written, with colour changes as markers.
class RecordingOutput final : public OutputLocation {
  public:
    explicit RecordingOutput(bool color = false) : color_{color} {}

    IoResult write(std::string_view bytes) override {
        text.append(bytes);
        return {};
    }
    IoResult flush() override { return {}; }
    bool supports_color() const override { return color_; }
    IoResult set_color(Color color) override {
        text += "<" + std::to_string(static_cast<int>(color)) + ">";
        return {};
    }
    IoResult reset_color() override {
        text += "</>";
        return {};
    }

    std::string text;

  private:
    bool color_;
};

}  // namespace runner
