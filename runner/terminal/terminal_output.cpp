#include "runner/terminal/terminal_output.hpp"

#include <array>
#include <utility>

namespace runner {
namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

std::string without_delays(std::string_view expanded) {
    std::string out;
    std::size_t at = 0;
    while (at < expanded.size()) {
        if (!expanded.substr(at).starts_with("$<")) {
            out.push_back(expanded[at++]);
            continue;
        }
        const std::size_t delay_start = at + 2;
        const bool opens_delay =
            delay_start < expanded.size() &&
            (is_digit(expanded[delay_start]) || expanded[delay_start] == '.') &&
            expanded.find('>', delay_start) != std::string_view::npos;
        if (!opens_delay) {
            out.append("$<");
            at = delay_start;
            continue;
        }
        // Digits, an optional decimal part, then the '*' and '/' markers; the character after
        // them closes the delay, whatever it is, as terminal output routines read it.
        at = delay_start;
        while (at < expanded.size() && is_digit(expanded[at])) {
            ++at;
        }
        if (at < expanded.size() && expanded[at] == '.') {
            ++at;
            while (at < expanded.size() && is_digit(expanded[at])) {
                ++at;
            }
        }
        while (at < expanded.size() && (expanded[at] == '*' || expanded[at] == '/')) {
            ++at;
        }
        if (at < expanded.size()) {
            ++at;
        }
    }
    return out;
}

std::optional<std::string> color_sequence(const TermInfo& info, int number, TermVariables& vars) {
    int colors = info.number_cap("colors");
    // The bright colours fall back to their plain ones on terminals without them.
    if (number >= 8 && number < 16 && colors <= number) {
        number -= 8;
    }
    const std::string* setaf = info.string_cap("setaf");
    if (setaf == nullptr || number >= colors) {
        return std::nullopt;
    }
    std::array<TermParam, 1> params{TermParam{number}};
    auto expanded = expand_capability(*setaf, params, vars);
    if (!expanded) {
        return std::nullopt;
    }
    return without_delays(*expanded);
}

std::optional<std::string> reset_sequence(const TermInfo& info, TermVariables& vars) {
    for (std::string_view name : {"sgr0", "sgr", "op"}) {
        if (const std::string* cap = info.string_cap(name)) {
            auto expanded = expand_capability(*cap, {}, vars);
            if (!expanded) {
                return std::nullopt;
            }
            return without_delays(*expanded);
        }
    }
    return std::nullopt;
}

TerminalOutput::TerminalOutput(TermInfo info, std::unique_ptr<OutputLocation> plain)
    : info_{std::move(info)}, plain_{std::move(plain)} {}

IoResult TerminalOutput::write(std::string_view bytes) {
    return plain_->write(bytes);
}

IoResult TerminalOutput::flush() {
    return plain_->flush();
}

bool TerminalOutput::supports_color() const {
    return info_.string_cap("setaf") != nullptr && info_.string_cap("setab") != nullptr;
}

IoResult TerminalOutput::set_color(Color color) {
    return write_optional(color_sequence(info_, static_cast<int>(color), vars_));
}

IoResult TerminalOutput::reset_color() {
    return write_optional(reset_sequence(info_, vars_));
}

IoResult TerminalOutput::write_optional(const std::optional<std::string>& bytes) {
    if (!bytes) {
        return {};
    }
    return plain_->write(*bytes);
}

std::unique_ptr<OutputLocation> terminal_or_plain(std::unique_ptr<OutputLocation> plain,
                                                  const EnvLookup& env) {
    auto info = load_terminfo(env);
    if (!info) {
        return plain;
    }
    return std::make_unique<TerminalOutput>(std::move(*info), std::move(plain));
}

}  // namespace runner
