#include "runner/execution/selection.hpp"

#include <algorithm>
#include <string_view>
#include <utility>

#include "runner/execution/siphash.hpp"

namespace runner {
namespace {

bool name_matches(const TestOpts& opts, std::string_view name, std::string_view pattern) {
    return opts.filter_exact ? name == pattern : name.find(pattern) != std::string_view::npos;
}

bool matches_any(const TestOpts& opts, const TestDescAndFn& test,
                 const std::vector<std::string>& patterns) {
    return std::any_of(patterns.begin(), patterns.end(), [&](const std::string& pattern) {
        return name_matches(opts, test.desc.name, pattern);
    });
}

bool is_benchmark(const TestDescAndFn& test) {
    return std::holds_alternative<StaticBenchFn>(test.testfn) ||
           std::holds_alternative<DynBenchFn>(test.testfn);
}

// Hash of the selected names, so that the order depends on which checks take part.
std::uint64_t names_hash(const std::vector<TestDescAndFn>& tests) {
    constexpr std::uint64_t aligned_name_tag = 2;
    SipHasher hasher = sip13_zero_keys();
    hasher.write_u64_le(tests.size());
    for (const auto& test : tests) {
        hasher.write_u64_le(aligned_name_tag);
        hasher.write(test.desc.name);
        hasher.write_u8(0xff);
        hasher.write_u64_le(is_benchmark(test) ? 1 : 0);  // benchmark names are padded
    }
    return hasher.finish();
}

// A generator whose every draw is the hash of its previous state and the names' hash.
class ShuffleRng {
  public:
    ShuffleRng(std::uint64_t seed, std::uint64_t extra) : state_(seed), extra_(extra) {}

    std::uint64_t next() {
        SipHasher hasher = sip13_zero_keys();
        hasher.write_u64_le(state_);
        hasher.write_u64_le(extra_);
        state_ = hasher.finish();
        return state_;
    }

  private:
    std::uint64_t state_;
    std::uint64_t extra_;
};

}  // namespace

std::vector<TestDescAndFn> filter_tests(const TestOpts& opts, std::vector<TestDescAndFn> tests) {
    if (!opts.filters.empty()) {
        std::erase_if(tests,
                      [&](const auto& test) { return !matches_any(opts, test, opts.filters); });
    }
    if (!opts.skip.empty()) {
        std::erase_if(tests, [&](const auto& test) { return matches_any(opts, test, opts.skip); });
    }
    if (opts.exclude_should_panic) {
        std::erase_if(tests, [](const auto& test) {
            return test.desc.should_panic.mode != ShouldPanic::Mode::No;
        });
    }
    if (opts.run_ignored == RunIgnored::Only) {
        std::erase_if(tests, [](const auto& test) { return !test.desc.ignore; });
    }
    if (opts.run_ignored != RunIgnored::No) {
        for (auto& test : tests) {
            test.desc.ignore = false;
        }
    }
    return tests;
}

void shuffle_tests(std::uint64_t seed, std::vector<TestDescAndFn>& tests) {
    ShuffleRng rng(seed, names_hash(tests));
    const std::size_t n = tests.size();
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint64_t offset = rng.next() % (n - i);
        if (offset != 0) {
            std::swap(tests[i], tests[i + offset]);
        }
    }
}

}  // namespace runner
