// tarnwick-forge: writes a synthetic, retail-like portal archive for trying the check program
// without retail data.

#include <charconv>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

#include "sample_archive.hpp"

namespace {

constexpr std::string_view usage =
    "usage: tarnwick-forge [--seed N] [--scale X] [--layout grouped|scattered] OUTPUT\n";
constexpr std::string_view help =
    "\nWrites a synthetic, retail-like portal archive (not retail data) to OUTPUT.\n\n"
    "  --seed N      the random seed (a whole number); one seed always gives the same archive\n"
    "  --scale X     the archive's size relative to the default, above 0 and at most 16\n"
    "  --layout L    grouped (the default: the files of each type together) or scattered (the\n"
    "                same files, each clothing table on its own between files of other types)\n"
    "  -h, --help    this text\n\n"
    "Exit status: 0 written; 1 the archive could not be written; 2 a usage error.\n"
    "Example: tarnwick-forge --seed 7 sample.dat\n";

template <class Number>
std::optional<Number> parse_number(std::string_view text) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

struct Arguments {
    tarnwick_forge::SampleOptions options;
    std::string output;
};

std::optional<Arguments> parse_arguments(int argc, char** argv) {
    Arguments arguments;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        const bool has_value = i + 1 < argc;
        if (argument == "--seed" && has_value) {
            auto seed = parse_number<std::uint64_t>(argv[++i]);
            if (!seed) {
                return std::nullopt;
            }
            arguments.options.seed = *seed;
        } else if (argument == "--scale" && has_value) {
            auto scale = parse_number<double>(argv[++i]);
            if (!scale || !(*scale > 0 && *scale <= 16)) {
                return std::nullopt;
            }
            arguments.options.scale = *scale;
        } else if (argument == "--layout" && has_value) {
            const std::string_view layout = argv[++i];
            if (layout == "grouped") {
                arguments.options.layout = tarnwick_forge::SampleLayout::Grouped;
            } else if (layout == "scattered") {
                arguments.options.layout = tarnwick_forge::SampleLayout::Scattered;
            } else {
                return std::nullopt;
            }
        } else if (arguments.output.empty() && !argument.starts_with("-")) {
            arguments.output = argument;
        } else {
            return std::nullopt;
        }
    }
    if (arguments.output.empty()) {
        return std::nullopt;
    }
    return arguments;
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            std::cout << usage << help;
            return std::cout.flush() ? 0 : 1;
        }
    }
    const auto arguments = parse_arguments(argc, argv);
    if (!arguments) {
        std::cerr << usage;
        return 2;
    }
    const auto summary =
        tarnwick_forge::write_sample_archive(arguments->output, arguments->options);
    if (!summary) {
        std::cerr << "tarnwick-forge: " << summary.error().display() << "\n";
        return 1;
    }
    std::cout << "tarnwick-forge: wrote a synthetic sample archive (not retail data) to "
              << arguments->output << ": " << summary->files << " files, "
              << summary->clothing_tables << " clothing tables, " << summary->archive_bytes
              << " bytes\n";
    return 0;
}
