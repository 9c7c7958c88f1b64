#pragma once

#include <memory>
#include <optional>
#include <string>

#include "runner/terminal/output.hpp"
#include "runner/terminal/terminfo.hpp"
#include "runner/terminal/terminfo_param.hpp"

namespace runner {

// An expanded capability as a terminal output routine sends it: every "$<...>" padding
// delay is an instruction to wait, not text, and is left out.
std::string without_delays(std::string_view expanded);

// The bytes that switch the foreground to colour `number`, by the terminal's setaf and colour
// count; nothing when the terminal cannot show that colour.
std::optional<std::string> color_sequence(const TermInfo& info, int number, TermVariables& vars);

// The bytes that reset the terminal's attributes: the first of sgr0, sgr and op it has.
std::optional<std::string> reset_sequence(const TermInfo& info, TermVariables& vars);

// A terminal: writes through the plain output and colours words by the terminal's description.
class TerminalOutput final : public OutputLocation {
  public:
    TerminalOutput(TermInfo info, std::unique_ptr<OutputLocation> plain);

    IoResult write(std::string_view bytes) override;
    IoResult flush() override;
    bool supports_color() const override;
    IoResult set_color(Color color) override;
    IoResult reset_color() override;

  private:
    IoResult write_optional(const std::optional<std::string>& bytes);

    TermInfo info_;
    TermVariables vars_;
    std::unique_ptr<OutputLocation> plain_;
};

// The terminal named by TERM when its description loads, else `plain` itself.
std::unique_ptr<OutputLocation> terminal_or_plain(std::unique_ptr<OutputLocation> plain,
                                                  const EnvLookup& env = process_environment());

}  // namespace runner
