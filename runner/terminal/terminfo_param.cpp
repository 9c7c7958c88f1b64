#include "runner/terminal/terminfo_param.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <utility>
#include <vector>

namespace runner {
namespace {

constexpr std::size_t MAX_PARAMS = 9;
// Bounds what a printf-style width or precision may ask for.
constexpr int MAX_FIELD_WIDTH = 1024;

// Wrapping 32-bit arithmetic, as terminals expect, without signed overflow.
std::int32_t wrap(std::int64_t value) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(value)));
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// A printf-style conversion: %[[:]flags][width[.precision]][doxXs].
struct FormatDirective {
    std::string flags;
    std::optional<int> width;
    std::optional<int> precision;
    char conversion = 'd';
};

// One expansion. Each step gives false after recording the first error.
class Expander {
  public:
    Expander(std::string_view cap, std::span<const TermParam> params, TermVariables& vars)
        : cap_{cap}, vars_{vars} {
        std::copy_n(params.begin(), std::min(params.size(), MAX_PARAMS), params_.begin());
    }

    std::expected<std::string, std::string> run() {
        while (pos_ < cap_.size()) {
            char c = cap_[pos_++];
            if (c != '%') {
                out_.push_back(c);
                continue;
            }
            auto op = next();
            if (!op) {
                return std::unexpected{std::string{"capability ends inside a % sequence"}};
            }
            if (!operation(*op)) {
                return std::unexpected{std::move(error_)};
            }
        }
        return std::move(out_);
    }

  private:
    bool operation(char op) {
        switch (op) {
            case '%':
                out_.push_back('%');
                return true;
            case 'c':
                return output_char();
            case 's':
                return output_string();
            case 'l':
                return push_length();
            case 'p':
                return push_param();
            case 'P':
                return set_variable();
            case 'g':
                return get_variable();
            case '\'':
                return push_char_constant();
            case '{':
                return push_int_constant();
            case 'i':
                increment_first_params();
                return true;
            case '!':
                return unary([](std::int64_t a) { return a == 0 ? 1 : 0; });
            case '~':
                return unary([](std::int64_t a) { return ~a; });
            case '+':
                return binary([](std::int64_t a, std::int64_t b) { return a + b; });
            case '-':
                return binary([](std::int64_t a, std::int64_t b) { return a - b; });
            case '*':
                return binary([](std::int64_t a, std::int64_t b) { return a * b; });
            case '/':
                return divide(false);
            case 'm':
                return divide(true);
            case '&':
                return binary([](std::int64_t a, std::int64_t b) { return a & b; });
            case '|':
                return binary([](std::int64_t a, std::int64_t b) { return a | b; });
            case '^':
                return binary([](std::int64_t a, std::int64_t b) { return a ^ b; });
            case '=':
                return binary([](std::int64_t a, std::int64_t b) { return a == b ? 1 : 0; });
            case '<':
                return binary([](std::int64_t a, std::int64_t b) { return a < b ? 1 : 0; });
            case '>':
                return binary([](std::int64_t a, std::int64_t b) { return a > b ? 1 : 0; });
            case 'A':
                return binary([](std::int64_t a, std::int64_t b) { return a && b ? 1 : 0; });
            case 'O':
                return binary([](std::int64_t a, std::int64_t b) { return a || b ? 1 : 0; });
            case '?':
            case ';':
                return true;
            case 't':
                return then_branch();
            case 'e':
                skip_branch(false);
                return true;
            default:
                --pos_;
                return formatted();
        }
    }

    bool fail(std::string text) {
        error_ = std::move(text);
        return false;
    }

    std::optional<char> next() {
        if (pos_ >= cap_.size()) {
            return std::nullopt;
        }
        return cap_[pos_++];
    }
    std::optional<char> peek() const {
        return pos_ < cap_.size() ? std::optional<char>{cap_[pos_]} : std::nullopt;
    }

    bool pop(TermParam& value) {
        if (stack_.empty()) {
            return fail("stack underflow");
        }
        value = std::move(stack_.back());
        stack_.pop_back();
        return true;
    }
    bool pop_int(std::int32_t& value) {
        TermParam popped;
        if (!pop(popped)) {
            return false;
        }
        if (auto* number = std::get_if<std::int32_t>(&popped)) {
            value = *number;
            return true;
        }
        return fail("a number was expected, found a string");
    }
    bool pop_string(std::string& value) {
        TermParam popped;
        if (!pop(popped)) {
            return false;
        }
        if (auto* text = std::get_if<std::string>(&popped)) {
            value = std::move(*text);
            return true;
        }
        return fail("a string was expected, found a number");
    }

    bool output_char() {
        std::int32_t value;
        if (!pop_int(value)) {
            return false;
        }
        out_.push_back(static_cast<char>(value));
        return true;
    }
    bool output_string() {
        std::string value;
        if (!pop_string(value)) {
            return false;
        }
        out_ += value;
        return true;
    }
    bool push_length() {
        std::string value;
        if (!pop_string(value)) {
            return false;
        }
        stack_.emplace_back(wrap(static_cast<std::int64_t>(value.size())));
        return true;
    }

    template <typename Op>
    bool unary(Op op) {
        std::int32_t a;
        if (!pop_int(a)) {
            return false;
        }
        stack_.emplace_back(wrap(op(a)));
        return true;
    }
    template <typename Op>
    bool binary(Op op) {
        std::int32_t a, b;
        if (!pop_int(b) || !pop_int(a)) {
            return false;
        }
        stack_.emplace_back(wrap(op(a, b)));
        return true;
    }
    bool divide(bool remainder) {
        std::int32_t a, b;
        if (!pop_int(b) || !pop_int(a)) {
            return false;
        }
        if (b == 0) {
            return fail("division by zero");
        }
        std::int64_t wide_a = a;
        stack_.emplace_back(wrap(remainder ? wide_a % b : wide_a / b));
        return true;
    }

    bool push_param() {
        auto digit = next();
        if (!digit || *digit < '1' || *digit > '9') {
            return fail("%p needs a parameter number from 1 to 9");
        }
        stack_.push_back(params_[static_cast<std::size_t>(*digit - '1')]);
        return true;
    }
    TermParam* variable() {
        auto name = next();
        if (name && *name >= 'a' && *name <= 'z') {
            return &dynamic_vars_[static_cast<std::size_t>(*name - 'a')];
        }
        if (name && *name >= 'A' && *name <= 'Z') {
            return &vars_.static_vars[static_cast<std::size_t>(*name - 'A')];
        }
        fail("a variable name from a to z or A to Z was expected");
        return nullptr;
    }
    bool set_variable() {
        TermParam* slot = variable();
        return slot != nullptr && pop(*slot);
    }
    bool get_variable() {
        TermParam* slot = variable();
        if (slot == nullptr) {
            return false;
        }
        stack_.push_back(*slot);
        return true;
    }
    bool push_char_constant() {
        auto c = next();
        auto quote = next();
        if (!c || quote != '\'') {
            return fail("malformed character constant");
        }
        stack_.emplace_back(static_cast<std::int32_t>(static_cast<unsigned char>(*c)));
        return true;
    }
    bool push_int_constant() {
        std::int64_t value = 0;
        bool any_digit = false;
        for (auto c = next(); c != '}'; c = next()) {
            if (!c || !is_digit(*c)) {
                return fail("malformed integer constant");
            }
            value = value * 10 + (*c - '0');
            if (value > INT32_MAX) {
                return fail("integer constant out of range");
            }
            any_digit = true;
        }
        if (!any_digit) {
            return fail("malformed integer constant");
        }
        stack_.emplace_back(static_cast<std::int32_t>(value));
        return true;
    }
    void increment_first_params() {
        for (std::size_t i = 0; i < 2; ++i) {
            if (auto* number = std::get_if<std::int32_t>(&params_[i])) {
                *number = wrap(std::int64_t{*number} + 1);
            }
        }
    }

    bool then_branch() {
        std::int32_t condition;
        if (!pop_int(condition)) {
            return false;
        }
        if (condition == 0) {
            skip_branch(true);
        }
        return true;
    }
    // Skips a branch not taken: to the %; closing this conditional, or to its %e when looking
    // for the else part. Nested conditionals are stepped over whole.
    void skip_branch(bool stop_at_else) {
        int depth = 0;
        while (pos_ < cap_.size()) {
            if (cap_[pos_++] != '%' || pos_ >= cap_.size()) {
                continue;
            }
            char op = cap_[pos_++];
            if (op == '?') {
                ++depth;
            } else if (op == ';') {
                if (depth == 0) {
                    return;
                }
                --depth;
            } else if (op == 'e' && depth == 0 && stop_at_else) {
                return;
            } else if (op == '\'') {
                pos_ = std::min(pos_ + 2, cap_.size());  // the constant may be a '%'
            }
        }
    }

    bool read_number(std::optional<int>& value) {
        int number = 0;
        while (peek() && is_digit(*peek())) {
            number = number * 10 + (cap_[pos_++] - '0');
            if (number > MAX_FIELD_WIDTH) {
                return fail("field width out of range");
            }
        }
        value = number;
        return true;
    }
    bool read_format_directive(FormatDirective& directive) {
        if (peek() == ':') {
            ++pos_;
            while (peek() && std::string_view{"-+# "}.find(*peek()) != std::string_view::npos) {
                directive.flags.push_back(cap_[pos_++]);
            }
        } else if (peek() == '#' || peek() == ' ') {
            directive.flags.push_back(cap_[pos_++]);
        }
        if (peek() == '0') {
            directive.flags.push_back('0');
        }
        if (peek() && is_digit(*peek()) && !read_number(directive.width)) {
            return false;
        }
        if (peek() == '.') {
            ++pos_;
            if (!read_number(directive.precision)) {
                return false;
            }
        }
        auto conversion = next();
        if (!conversion) {
            return fail("capability ends inside a % sequence");
        }
        if (std::string_view{"doxXs"}.find(*conversion) == std::string_view::npos) {
            return fail(std::string{"unrecognized format option "} + *conversion);
        }
        directive.conversion = *conversion;
        return true;
    }

    bool formatted() {
        FormatDirective directive;
        if (!read_format_directive(directive)) {
            return false;
        }
        std::string format = "%" + directive.flags;
        if (directive.width) {
            format += std::to_string(*directive.width);
        }
        if (directive.precision) {
            format.append(".").append(std::to_string(*directive.precision));
        }
        format += directive.conversion;
        if (directive.conversion == 's') {
            std::string value;
            if (!pop_string(value)) {
                return false;
            }
            append_printf(format, value.c_str());
            return true;
        }
        std::int32_t value;
        if (!pop_int(value)) {
            return false;
        }
        // The unsigned conversions show the number's 32-bit pattern.
        if (directive.conversion == 'd') {
            append_printf(format, static_cast<int>(value));
        } else {
            append_printf(format, static_cast<unsigned>(value));
        }
        return true;
    }

    template <typename T>
    void append_printf(const std::string& format, T value) {
        int length = std::snprintf(nullptr, 0, format.c_str(), value);
        if (length <= 0) {
            return;
        }
        std::size_t start = out_.size();
        out_.resize(start + static_cast<std::size_t>(length) + 1);
        std::snprintf(out_.data() + start, static_cast<std::size_t>(length) + 1, format.c_str(),
                      value);
        out_.resize(start + static_cast<std::size_t>(length));
    }

    std::string_view cap_;
    std::size_t pos_ = 0;
    std::string out_;
    std::string error_;
    std::vector<TermParam> stack_;
    std::array<TermParam, MAX_PARAMS> params_{};
    std::array<TermParam, 26> dynamic_vars_{};
    TermVariables& vars_;
};

}  // namespace

std::expected<std::string, std::string> expand_capability(std::string_view cap,
                                                          std::span<const TermParam> params,
                                                          TermVariables& vars) {
    return Expander{cap, params, vars}.run();
}

}  // namespace runner
