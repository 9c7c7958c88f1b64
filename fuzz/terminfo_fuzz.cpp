// The input twice: as a compiled terminal description, whose every string capability is then
// expanded with parameters; and as one capability string, expanded. Each ends with an error
// text or a result whose length is bounded by the capability's.

#include <array>
#include <climits>

#include "fuzz_input.hpp"
#include "runner/terminal/terminfo_param.hpp"
#include "runner/terminal/terminfo_parser.hpp"

namespace {

using runner::TermParam;

// Numbers at the edges of 32-bit arithmetic and a text, as the runner's colour calls and worse.
const std::array<TermParam, 9> params{
    TermParam{1},   TermParam{INT_MAX}, TermParam{INT_MIN},
    TermParam{-1},  TermParam{0},       TermParam{std::string{"text"}},
    TermParam{255}, TermParam{7},       TermParam{1000}};

// Per directive at most a bounded field (1024 columns) or the parameter text.
constexpr std::size_t max_output_per_input_byte = 1100;

void expand(std::string_view cap, runner::TermVariables& vars) {
    const auto expanded = runner::expand_capability(cap, params, vars);
    if (expanded) {
        tarnwick_fuzz::require(expanded->size() <= (cap.size() + 1) * max_output_per_input_byte,
                               "expansion out of proportion to the capability");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = tarnwick_fuzz::as_text({data, size});
    runner::TermVariables vars;
    if (const auto info = runner::parse_terminfo(text)) {
        for (const auto& [name, cap] : info->strings) {
            expand(cap, vars);
        }
    }
    expand(text, vars);
    return 0;
}
