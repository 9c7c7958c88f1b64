#pragma once

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace tarnwick_tool {

// The value on one line, keys in ascending order; bytes that are not UTF-8 become U+FFFD.
std::string json_line(const nlohmann::json& value);

// One object as json_line writes it, put together field by field without building a document,
// for outputs of many thousand lines. Give the fields in ascending order of key, as json_line
// sorts them.
class JsonLineWriter {
  public:
    JsonLineWriter& field(std::string_view key, std::uint64_t value);
    JsonLineWriter& field(std::string_view key, bool value);
    JsonLineWriter& field(std::string_view key, std::string_view value);
    JsonLineWriter& field(std::string_view key, std::nullptr_t);
    // The line, closed and ended.
    std::string finish() &&;

  private:
    void key(std::string_view key);

    std::string line_ = "{";
};

// The value spread over indented lines, for reading.
std::string json_block(const nlohmann::json& value);

}  // namespace tarnwick_tool
