#include "json_lines.hpp"

#include <algorithm>

namespace tarnwick_tool {

std::string json_line(const nlohmann::json& value) {
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

namespace {

// A string as json_line writes it: plain printable ASCII as it is, anything else as the JSON
// library escapes it.
void append_string(std::string& out, std::string_view text) {
    const bool plain = std::all_of(text.begin(), text.end(), [](char c) {
        return c >= 0x20 && c < 0x7F && c != '"' && c != '\\';
    });
    if (plain) {
        out += '"';
        out += text;
        out += '"';
    } else {
        out += nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    }
}

}  // namespace

void JsonLineWriter::key(std::string_view key) {
    if (line_.size() > 1) {
        line_ += ',';
    }
    append_string(line_, key);
    line_ += ':';
}

JsonLineWriter& JsonLineWriter::field(std::string_view key, std::uint64_t value) {
    this->key(key);
    line_ += std::to_string(value);
    return *this;
}

JsonLineWriter& JsonLineWriter::field(std::string_view key, bool value) {
    this->key(key);
    line_ += value ? "true" : "false";
    return *this;
}

JsonLineWriter& JsonLineWriter::field(std::string_view key, std::string_view value) {
    this->key(key);
    append_string(line_, value);
    return *this;
}

JsonLineWriter& JsonLineWriter::field(std::string_view key, std::nullptr_t) {
    this->key(key);
    line_ += "null";
    return *this;
}

std::string JsonLineWriter::finish() && {
    line_ += "}\n";
    return std::move(line_);
}

std::string json_block(const nlohmann::json& value) {
    return value.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

}  // namespace tarnwick_tool
