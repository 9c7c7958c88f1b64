#include "outline.hpp"

namespace tarnwick_tool {

namespace {

using nlohmann::json;

constexpr std::size_t step = 2;

bool on_one_line(const json& value) {
    return !value.is_structured() || value.empty();
}

std::string scalar(const json& value) {
    return value.is_string() ? value.get<std::string>()
                             : value.dump(-1, ' ', false, json::error_handler_t::replace);
}

void append(const json& value, std::size_t indent, std::string& out);

// A structured list element: laid out one level in, its first line's indent turned into "- ".
void append_element(const json& element, std::size_t indent, std::string& out) {
    const std::string pad(indent, ' ');
    if (on_one_line(element)) {
        out += pad + "- " + scalar(element) + "\n";
        return;
    }
    std::string nested;
    append(element, indent + step, nested);
    out += pad + "- " + nested.substr(indent + step);
}

void append(const json& value, std::size_t indent, std::string& out) {
    const std::string pad(indent, ' ');
    if (value.is_array()) {
        for (const json& element : value) {
            append_element(element, indent, out);
        }
        return;
    }
    for (const auto& [name, member] : value.items()) {
        if (on_one_line(member)) {
            out += pad + name + ": " + scalar(member) + "\n";
        } else {
            out += pad + name + ":\n";
            append(member, indent + step, out);
        }
    }
}

}  // namespace

std::string outline(const nlohmann::json& value) {
    if (on_one_line(value)) {
        return scalar(value) + "\n";
    }
    std::string out;
    append(value, 0, out);
    return out;
}

}  // namespace tarnwick_tool
