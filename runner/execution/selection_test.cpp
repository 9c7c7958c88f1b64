#include "runner/execution/selection.hpp"

#include <gtest/gtest.h>

namespace runner {
namespace {

TestOutcome passes() {
    return {};
}
TestOutcome measures(Bencher&) {
    return {};
}

TestDescAndFn check(std::string name, bool ignore = false,
                    ShouldPanic should_panic = ShouldPanic::no()) {
    TestDescAndFn entry{TestDesc{}, TestFn{&passes}};
    entry.desc.name = std::move(name);
    entry.desc.ignore = ignore;
    entry.desc.should_panic = std::move(should_panic);
    return entry;
}

TestDescAndFn benchmark(std::string name) {
    TestDescAndFn entry = check(std::move(name));
    entry.testfn = &measures;
    return entry;
}

const std::vector<std::string> REGISTRY_NAMES = {
    "all_retail_clothing_tables_parse",
    "common::motion_command_names::tests::classify_known_commands",
    "common::motion_command_names::tests::lookup_known_commands",
    "common::motion_command_names::tests::table_is_strictly_sorted_for_binary_search",
};

std::vector<TestDescAndFn> registry() {
    std::vector<TestDescAndFn> tests;
    for (const auto& name : REGISTRY_NAMES) {
        tests.push_back(check(name));
    }
    return tests;
}

std::vector<std::string> names(const std::vector<TestDescAndFn>& tests) {
    std::vector<std::string> result;
    for (const auto& test : tests) {
        result.push_back(test.desc.name);
    }
    return result;
}

std::vector<std::string> selected(const TestOpts& opts, std::vector<TestDescAndFn> tests) {
    return names(filter_tests(opts, std::move(tests)));
}

TEST(FilterTests, NoFilterKeepsEverythingInOrder) {
    EXPECT_EQ(selected(TestOpts{}, registry()), REGISTRY_NAMES);
}

TEST(FilterTests, AnyFilterSelectsAndSkipDrops) {
    TestOpts opts;
    opts.filters = {"lookup", "classify"};
    EXPECT_EQ(selected(opts, registry()),
              (std::vector<std::string>{REGISTRY_NAMES[1], REGISTRY_NAMES[2]}));
    opts.skip = {"lookup"};
    EXPECT_EQ(selected(opts, registry()), std::vector<std::string>{REGISTRY_NAMES[1]});
    opts.filters.clear();
    opts.skip = {"tests::", "nothing"};
    EXPECT_EQ(selected(opts, registry()), std::vector<std::string>{REGISTRY_NAMES[0]});
}

TEST(FilterTests, ExactComparesWholeNames) {
    TestOpts opts;
    opts.filter_exact = true;
    opts.filters = {"all_retail"};
    EXPECT_TRUE(selected(opts, registry()).empty());
    opts.filters = {"all_retail_clothing_tables_parse"};
    EXPECT_EQ(selected(opts, registry()), std::vector<std::string>{REGISTRY_NAMES[0]});
    // Exact also applies to skip patterns.
    opts.filters.clear();
    opts.skip = {"lookup"};
    EXPECT_EQ(selected(opts, registry()), REGISTRY_NAMES);
}

TEST(FilterTests, IgnoredOnlyOnRegistrySelectsNothing) {
    TestOpts opts;
    opts.run_ignored = RunIgnored::Only;
    EXPECT_TRUE(filter_tests(opts, registry()).empty());
}

TEST(FilterTests, IgnoredHandling) {
    const std::vector<TestDescAndFn> tests = {check("a"), check("b", true), check("c", true)};
    TestOpts opts;
    const auto normal = filter_tests(opts, tests);
    ASSERT_EQ(normal.size(), 3u);
    EXPECT_TRUE(normal[1].desc.ignore);

    opts.run_ignored = RunIgnored::Yes;
    const auto included = filter_tests(opts, tests);
    ASSERT_EQ(included.size(), 3u);
    for (const auto& test : included) {
        EXPECT_FALSE(test.desc.ignore) << test.desc.name;
    }

    opts.run_ignored = RunIgnored::Only;
    const auto only = filter_tests(opts, tests);
    EXPECT_EQ(names(only), (std::vector<std::string>{"b", "c"}));
    for (const auto& test : only) {
        EXPECT_FALSE(test.desc.ignore) << test.desc.name;
    }
}

TEST(FilterTests, ExcludeShouldPanicDropsBothForms) {
    const std::vector<TestDescAndFn> tests = {
        check("plain"), check("must_fail", false, ShouldPanic::yes()),
        check("must_fail_with", false, ShouldPanic::with_text("boom"))};
    TestOpts opts;
    EXPECT_EQ(selected(opts, tests).size(), 3u);
    opts.exclude_should_panic = true;
    EXPECT_EQ(selected(opts, tests), std::vector<std::string>{"plain"});
}

struct ShuffleCase {
    std::uint64_t seed;
    std::vector<std::size_t> order;  // indices into the list handed in
};

// Expected orders from an independent reference: a few lines of Python that build the same
// byte sequence (count, then per entry 2, name, 0xFF, alignment mark, integers 8 bytes
// little-endian) and draw the same way, with Python 3.11's bytes hash as SipHash-1-3 under zero
// keys (PYTHONHASHSEED=0; hash(b) & (2**64 - 1)).
void expect_orders(const std::vector<TestDescAndFn>& tests, const std::vector<ShuffleCase>& cases) {
    for (const auto& c : cases) {
        std::vector<TestDescAndFn> shuffled = tests;
        shuffle_tests(c.seed, shuffled);
        std::vector<std::string> expected;
        for (const std::size_t index : c.order) {
            expected.push_back(tests[index].desc.name);
        }
        EXPECT_EQ(names(shuffled), expected) << "seed " << c.seed;
    }
}

TEST(ShuffleTests, RegistryOrdersForFixedSeeds) {
    expect_orders(registry(), {{0, {1, 2, 0, 3}},
                               {1, {3, 0, 1, 2}},
                               {42, {0, 2, 3, 1}},
                               {18446744073709551615ULL, {1, 0, 3, 2}}});
}

TEST(ShuffleTests, BenchmarksCarryTheirAlignmentMark) {
    const std::vector<TestDescAndFn> tests = {check("alpha"),     benchmark("beta"), check("gamma"),
                                              benchmark("delta"), check("epsilon"),  check("zeta")};
    expect_orders(tests, {{7, {2, 1, 5, 0, 3, 4}}, {123456789, {2, 3, 5, 0, 1, 4}}});
}

TEST(ShuffleTests, EmptyAndSingleListsStay) {
    std::vector<TestDescAndFn> none;
    shuffle_tests(5, none);
    EXPECT_TRUE(none.empty());
    std::vector<TestDescAndFn> one = {check("only")};
    shuffle_tests(5, one);
    EXPECT_EQ(names(one), std::vector<std::string>{"only"});
}

}  // namespace
}  // namespace runner
