#include "runner/report/report_text.hpp"

#include <algorithm>

#include "runner/report/time_display.hpp"
#include "tarnwick_base/expected.hpp"
#include "tarnwick_base/text.hpp"

namespace runner {

IoResult write_text(OutputLocation& out, std::string_view text) {
    TARNWICK_TRY(out.write(text));
    return out.flush();
}

IoResult write_colored_word(OutputLocation& out, std::string_view word, Color color,
                            bool use_color) {
    if (use_color) {
        TARNWICK_TRY(out.set_color(color));
    }
    TARNWICK_TRY(out.write(word));
    if (use_color) {
        TARNWICK_TRY(out.reset_color());
    }
    return out.flush();
}

std::string run_start_text(std::size_t test_count, std::optional<std::uint64_t> shuffle_seed) {
    std::string text = "\nrunning ";
    text.append(std::to_string(test_count)).append(test_count == 1 ? " test" : " tests");
    if (shuffle_seed) {
        text.append(" (shuffle seed: ").append(std::to_string(*shuffle_seed)).push_back(')');
    }
    text.push_back('\n');
    return text;
}

std::string timeout_text(const TestDesc& desc) {
    std::string text = "test ";
    text.append(desc.name).append(" has been running for over 60 seconds\n");
    return text;
}

std::string discovered_text(const TestDesc& desc, std::string_view kind_word) {
    std::string text = desc.name;
    text.append(": ").append(kind_word).push_back('\n');
    return text;
}

std::string results_section_text(const std::vector<DescAndOutput>& listed, std::string_view title) {
    std::string heading = "\n";
    heading.append(title).append(":\n");
    std::string outputs;
    std::vector<std::string> names;
    for (const auto& [desc, output] : listed) {
        names.push_back(desc.name);
        if (!output.empty()) {
            outputs.append("---- ").append(desc.name).append(" stdout ----\n");
            outputs.append(tarnwick_base::utf8_lossy(output)).push_back('\n');
        }
    }
    std::string text = heading;
    if (!outputs.empty()) {
        text.append("\n").append(outputs);
    }
    text.append(heading);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        text.append("    ").append(name).push_back('\n');
    }
    return text;
}

IoResult write_summary(OutputLocation& out, const ConsoleTestState& state, bool use_color) {
    TARNWICK_TRY(write_text(out, "\ntest result: "));
    const bool success = state.failed == 0;
    TARNWICK_TRY(success ? write_colored_word(out, "ok", Color::Green, use_color)
                         : write_colored_word(out, "FAILED", Color::Red, use_color));
    std::string summary = ". ";
    summary.append(std::to_string(state.passed)).append(" passed; ");
    summary.append(std::to_string(state.failed)).append(" failed; ");
    summary.append(std::to_string(state.ignored)).append(" ignored; ");
    summary.append(std::to_string(state.measured)).append(" measured; ");
    summary.append(std::to_string(state.filtered_out)).append(" filtered out");
    if (state.exec_time) {
        summary.append("; finished in ").append(display(*state.exec_time));
    }
    summary.append("\n\n");
    return write_text(out, summary);
}

}  // namespace runner
