#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runner/report/console_state.hpp"
#include "runner/terminal/output.hpp"
#include "runner/types.hpp"

namespace runner {

// The pieces the pretty and terse reports share.

// Writes and flushes, so that the report keeps pace with the run.
IoResult write_text(OutputLocation& out, std::string_view text);
// The word in the colour when colours are on, plainly otherwise.
IoResult write_colored_word(OutputLocation& out, std::string_view word, Color color,
                            bool use_color);

// "\nrunning 4 tests\n", with " (shuffle seed: N)" when shuffled.
std::string run_start_text(std::size_t test_count, std::optional<std::uint64_t> shuffle_seed);
// "test NAME has been running for over 60 seconds\n".
std::string timeout_text(const TestDesc& desc);
// "NAME: KIND\n": one listed entry.
std::string discovered_text(const TestDesc& desc, std::string_view kind_word);
// An end-of-run section: the captured outputs, then the sorted names.
std::string results_section_text(const std::vector<DescAndOutput>& listed, std::string_view title);
// "\ntest result: ok. 4 passed; ...; finished in 1.23s\n\n", the verdict coloured.
IoResult write_summary(OutputLocation& out, const ConsoleTestState& state, bool use_color);

}  // namespace runner
