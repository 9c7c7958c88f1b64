#pragma once

#include <memory>

#include "runner/report/formatter.hpp"
#include "runner/terminal/output.hpp"
#include "runner/types.hpp"

namespace runner {

// Where the report goes: a colour-capable terminal when one is described, else plain stdout.
std::unique_ptr<OutputLocation> make_output_location();

// The report format the options ask for, writing to `out`.
std::unique_ptr<OutputFormatter> make_formatter(const TestOpts& opts,
                                                std::unique_ptr<OutputLocation> out,
                                                bool is_multithreaded);

}  // namespace runner
