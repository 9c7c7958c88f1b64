#include "runner/test_main.hpp"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>

#include "runner/check/panic.hpp"
#include "runner/cli.hpp"
#include "runner/execution/capture.hpp"
#include "runner/report/console.hpp"
#include "runner/report/formatter_factory.hpp"

namespace runner {
namespace {

bool is_static(const TestFn& testfn) {
    return std::holds_alternative<StaticTestFn>(testfn) ||
           std::holds_alternative<StaticBenchFn>(testfn);
}

}  // namespace

void test_main(const std::vector<std::string>& arguments, std::vector<TestDescAndFn> tests) {
    // A reader that went away is an output error like any other, not a silent death by signal.
    std::signal(SIGPIPE, SIG_IGN);
    auto parsed = parse_opts(arguments);
    if (!parsed) {
        eprint("error: " + parsed.error() + "\n");
        std::fflush(stdout);
        std::exit(101);
    }
    if (!*parsed) {
        return;
    }
    const TestOpts& opts = **parsed;
    if (opts.list) {
        if (auto listed = list_tests_console(opts, std::move(tests), make_output_location());
            !listed) {
            exit_with_output_error(listed.error());
        }
        return;
    }
    std::optional<TerminateFlushGuard> flush_on_terminate;
    if (!opts.nocapture) {
        flush_on_terminate.emplace();
    }
    const auto passed = run_tests_console(opts, std::move(tests));
    flush_on_terminate.reset();
    if (!passed) {
        exit_with_output_error(passed.error());
    }
    if (!*passed) {
        std::fflush(stdout);
        std::exit(101);
    }
}

void test_main_static(std::span<const TestDescAndFn* const> tests) {
    std::vector<TestDescAndFn> owned;
    owned.reserve(tests.size());
    for (const TestDescAndFn* test : tests) {
        if (!is_static(test->testfn)) {
            fail_main_thread("non-static tests passed to test::test_main_static");
        }
        owned.push_back(make_owned_test(*test));
    }
    test_main(process_arguments(), std::move(owned));
}

TestDescAndFn make_owned_test(const TestDescAndFn& test) {
    return test;
}

TestOutcome assert_test_result(int status) {
    if (status == 0) {
        return {};
    }
    return std::unexpected{"the test returned a termination value with a non-zero status code (" +
                           std::to_string(status) + ") which indicates a failure"};
}

std::vector<std::string> process_arguments() {
    std::ifstream in{"/proc/self/cmdline", std::ios::binary};
    const std::string all{std::istreambuf_iterator<char>{in}, std::istreambuf_iterator<char>{}};
    std::vector<std::string> arguments;
    std::size_t begin = 0;
    while (begin < all.size()) {
        const std::size_t end = all.find('\0', begin);
        arguments.push_back(all.substr(begin, end - begin));
        begin = end == std::string::npos ? all.size() : end + 1;
    }
    return arguments;
}

}  // namespace runner
