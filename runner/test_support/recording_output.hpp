#pragma once

#include <string>

#include "runner/terminal/output.hpp"

namespace runner {

// Test double: an output that keeps every byte written, with colour changes as markers; into
// a string of its own, or into one that outlives it when the code under test owns the output.
class RecordingOutput final : public OutputLocation {
  public:
    explicit RecordingOutput(bool color = false) : text{own_text_}, color_{color} {}
    explicit RecordingOutput(std::string& target, bool color = false)
        : text{target}, color_{color} {}

    IoResult write(std::string_view bytes) override {
        text.append(bytes);
        return {};
    }
    IoResult flush() override { return {}; }
    bool supports_color() const override { return color_; }
    IoResult set_color(Color color) override {
        text.append("<").append(std::to_string(static_cast<int>(color))).append(">");
        return {};
    }
    IoResult reset_color() override {
        text += "</>";
        return {};
    }

  private:
    std::string own_text_;  // declared first: `text` may refer to it

  public:
    std::string& text;

  private:
    bool color_;
};

}  // namespace runner
