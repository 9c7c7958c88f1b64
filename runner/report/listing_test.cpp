#include <gtest/gtest.h>

#include <fstream>

#include <unistd.h>

#include "runner/report/console.hpp"
#include "runner/test_support/recording_output.hpp"

namespace runner {
namespace {

TestOutcome passes() {
    return {};
}
TestOutcome measures(Bencher&) {
    return {};
}

TestDescAndFn check(std::string name, bool ignore = false) {
    TestDescAndFn entry{TestDesc{}, StaticTestFn{passes}};
    entry.desc.name = std::move(name);
    entry.desc.ignore = ignore;
    entry.desc.test_kind = TestKind::Integration;
    entry.desc.source_path = "crates/tarnwick-dat/tests/clothing_parity.cpp";
    entry.desc.start_line = 3;
    entry.desc.start_col = 1;
    entry.desc.end_line = 9;
    entry.desc.end_col = 2;
    return entry;
}

TestDescAndFn benchmark(std::string name) {
    TestDescAndFn entry{TestDesc{}, StaticBenchFn{measures}};
    entry.desc.name = std::move(name);
    return entry;
}

std::vector<TestDescAndFn> four_checks() {
    return {check("all_retail_clothing_tables_parse"), check("m::tests::classify"),
            check("m::tests::lookup", true), check("m::tests::sorted")};
}

std::string listing(OutputFormat format, std::vector<TestDescAndFn> tests,
                    std::vector<std::string> filters = {}) {
    TestOpts opts;
    opts.list = true;
    opts.format = format;
    opts.filters = std::move(filters);
    std::string text;
    auto listed =
        list_tests_console(opts, std::move(tests), std::make_unique<RecordingOutput>(text));
    EXPECT_TRUE(listed.has_value());
    return text;
}

constexpr std::string_view PRETTY_FOUR =
    "all_retail_clothing_tables_parse: test\n"
    "m::tests::classify: test\n"
    "m::tests::lookup: test\n"
    "m::tests::sorted: test\n"
    "\n"
    "4 tests, 0 benchmarks\n";

TEST(Listing, PrettyAndJunitShowTheCountLine) {
    EXPECT_EQ(listing(OutputFormat::Pretty, four_checks()), PRETTY_FOUR);
    EXPECT_EQ(listing(OutputFormat::Junit, four_checks()), PRETTY_FOUR);
    EXPECT_EQ(listing(OutputFormat::Pretty, four_checks(), {"sorted"}),
              "m::tests::sorted: test\n\n1 test, 0 benchmarks\n");
    EXPECT_EQ(listing(OutputFormat::Pretty, four_checks(), {"nothing"}), "0 tests, 0 benchmarks\n");
    EXPECT_EQ(listing(OutputFormat::Pretty, {check("a"), benchmark("b")}),
              "a: test\nb: benchmark\n\n1 test, 1 benchmark\n");
}

TEST(Listing, TerseShowsOnlyTheEntries) {
    EXPECT_EQ(listing(OutputFormat::Terse, four_checks()),
              PRETTY_FOUR.substr(0, PRETTY_FOUR.find("\n\n") + 1));
    EXPECT_EQ(listing(OutputFormat::Terse, four_checks(), {"nothing"}), "");
}

TEST(Listing, JsonDiscoveryRecords) {
    EXPECT_EQ(
        listing(OutputFormat::Json, {check("a\"b", true), benchmark("bench")}),
        "{ \"type\": \"suite\", \"event\": \"discovery\" }\n"
        "{ \"type\": \"test\", \"event\": \"discovered\", \"name\": \"a\\\"b\", \"ignore\": true, "
        "\"ignore_message\": \"\", \"source_path\": "
        "\"crates/tarnwick-dat/tests/clothing_parity.cpp\", "
        "\"start_line\": 3, \"start_col\": 1, \"end_line\": 9, \"end_col\": 2 }\n"
        "{ \"type\": \"benchmark\", \"event\": \"discovered\", \"name\": \"bench\", \"ignore\": "
        "false, \"ignore_message\": \"\", \"source_path\": \"\", \"start_line\": 0, \"start_col\": "
        "0, \"end_line\": 0, \"end_col\": 0 }\n"
        "{ \"type\": \"suite\", \"event\": \"completed\", \"tests\": 1, \"benchmarks\": 1, "
        "\"total\": 2, \"ignored\": 1 }\n");
}

TEST(Listing, LogFileNamesEachListedEntry) {
    const std::string path =
        ::testing::TempDir() + "listing_log_" + std::to_string(::getpid()) + ".txt";
    TestOpts opts;
    opts.list = true;
    opts.logfile = path;
    auto listed = list_tests_console(opts, {check("first"), benchmark("second")},
                                     std::make_unique<RecordingOutput>());
    ASSERT_TRUE(listed.has_value());
    std::ifstream log{path};
    std::string text{std::istreambuf_iterator<char>{log}, {}};
    std::remove(path.c_str());
    EXPECT_EQ(text, "test first\nbenchmark second\n");
}

}  // namespace
}  // namespace runner
