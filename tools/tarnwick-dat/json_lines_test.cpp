#include "json_lines.hpp"

#include <gtest/gtest.h>

namespace tarnwick_tool {
namespace {

// Written field by field, the same bytes as the document dumped, odd strings included.
TEST(JsonLineWriter, WritesWhatJsonLineWrites) {
    for (const std::string odd : {"plain", "quote \" and \\ back", "tab\tnew\nline\x01",
                                  "caf\xC3\xA9", "bad \xFF byte", ""}) {
        JsonLineWriter line;
        line.field("a", std::uint64_t{4294967295u})
            .field("b", true)
            .field("c", nullptr)
            .field("d", odd)
            .field("e \"key\"", false);
        const std::string written = std::move(line).finish();
        const nlohmann::json document = {
            {"a", 4294967295u}, {"b", true}, {"c", nullptr}, {"d", odd}, {"e \"key\"", false}};
        EXPECT_EQ(written, json_line(document)) << odd;
    }
}

}  // namespace
}  // namespace tarnwick_tool
