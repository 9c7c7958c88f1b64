#include "runner/options/arg_parser.hpp"

#include <stdexcept>

#include "tarnwick_base/expected.hpp"
#include "tarnwick_base/text.hpp"

namespace runner {
namespace {

// A one-character name refers to an option's letter, a longer one to its long name.
std::optional<std::size_t> find_option(std::span<const OptGroup> options, std::string_view name) {
    const bool is_letter = name.size() == 1;
    for (std::size_t i = 0; i < options.size(); ++i) {
        const std::string_view own = is_letter ? options[i].short_name : options[i].long_name;
        if (!own.empty() && own == name) {
            return i;
        }
    }
    return std::nullopt;
}

std::string_view display_name(const OptGroup& option) {
    return option.long_name.empty() ? option.short_name : option.long_name;
}

std::string quoted_error(std::string_view before, std::string_view name, std::string_view after) {
    std::string text(before);
    text.append("'").append(name).append("'").append(after);
    return text;
}

std::string unrecognized(std::string_view name) {
    return quoted_error("Unrecognized option: ", name, "");
}

// One option occurrence as written, with the value given inside the same argument, if any.
struct Occurrence {
    std::string name;
    std::optional<std::string> inline_value;
};

Occurrence split_long(std::string_view arg) {
    const std::string_view tail = arg.substr(2);
    const std::size_t equals = tail.find('=');
    if (equals == std::string_view::npos) {
        return {std::string(tail), std::nullopt};
    }
    return {std::string(tail.substr(0, equals)), std::string(tail.substr(equals + 1))};
}

// "-qh" is q and h; a letter that takes a value takes the rest of the argument ("-Zvalue").
std::expected<std::vector<Occurrence>, std::string> split_short_group(
    std::span<const OptGroup> options, std::string_view arg) {
    std::vector<Occurrence> group;
    std::size_t pos = 1;
    while (pos < arg.size()) {
        // A letter that is not ASCII is named whole in an error; a stray byte alone.
        const std::size_t length = tarnwick_base::utf8_char_length(arg, pos);
        const std::string letter(arg.substr(pos, length));
        const auto index = find_option(options, letter);
        if (!index) {
            return std::unexpected(unrecognized(letter));
        }
        pos += length;
        if (options[*index].hasarg == HasArg::Yes && pos < arg.size()) {
            group.push_back({letter, std::string(arg.substr(pos))});
            break;
        }
        group.push_back({letter, std::nullopt});
    }
    return group;
}

bool is_option_like(std::string_view arg) {
    return arg.size() > 1 && arg.front() == '-';
}

}  // namespace

ParsedArgs::ParsedArgs(std::span<const OptGroup> options,
                       std::vector<std::vector<std::string>> values, std::vector<std::string> free)
    : options_(options), values_(std::move(values)), free_(std::move(free)) {}

const std::vector<std::string>& ParsedArgs::values(std::string_view name) const {
    const auto index = find_option(options_, name);
    if (!index) {
        throw std::logic_error("option not in the table");
    }
    return values_[*index];
}

bool ParsedArgs::present(std::string_view name) const {
    return !values(name).empty();
}

std::optional<std::string> ParsedArgs::value(std::string_view name) const {
    const auto& given = values(name);
    if (given.empty()) {
        return std::nullopt;
    }
    return given.front();
}

std::expected<ParsedArgs, std::string> parse_args(std::span<const OptGroup> options,
                                                  std::span<const std::string> args) {
    std::vector<std::vector<std::string>> values(options.size());
    std::vector<std::string> free;
    for (std::size_t next = 0; next < args.size();) {
        const std::string& arg = args[next++];
        if (!is_option_like(arg)) {
            free.push_back(arg);
            continue;
        }
        if (arg == "--") {
            free.insert(free.end(), args.begin() + static_cast<std::ptrdiff_t>(next), args.end());
            break;
        }
        std::vector<Occurrence> occurrences;
        if (arg[1] == '-') {
            occurrences.push_back(split_long(arg));
        } else {
            auto group = split_short_group(options, arg);
            if (!group) {
                return tarnwick_base::take_error(group);
            }
            occurrences = std::move(*group);
        }
        for (auto& occurrence : occurrences) {
            const auto index = find_option(options, occurrence.name);
            if (!index) {
                return std::unexpected(unrecognized(occurrence.name));
            }
            if (options[*index].hasarg == HasArg::No) {
                if (occurrence.inline_value) {
                    return std::unexpected(
                        quoted_error("Option ", occurrence.name, " does not take an argument"));
                }
                values[*index].emplace_back();
            } else if (occurrence.inline_value) {
                values[*index].push_back(std::move(*occurrence.inline_value));
            } else if (next < args.size()) {
                values[*index].push_back(args[next++]);
            } else {
                return std::unexpected(
                    quoted_error("Argument to option ", occurrence.name, " missing"));
            }
        }
    }
    // Repeats are judged once everything was read, in the order of the table.
    for (std::size_t i = 0; i < options.size(); ++i) {
        if (options[i].occur == Occur::Once && values[i].size() > 1) {
            return std::unexpected(
                quoted_error("Option ", display_name(options[i]), " given more than once"));
        }
    }
    return ParsedArgs(options, std::move(values), std::move(free));
}

}  // namespace runner
