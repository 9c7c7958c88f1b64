#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <variant>
#include <vector>

#include "runner/execution/channel.hpp"
#include "runner/execution/thread.hpp"
#include "runner/terminal/output.hpp"
#include "runner/test_result.hpp"
#include "runner/types.hpp"

namespace runner {

namespace event {
struct FilteredOut {
    std::size_t count;
};
struct Plan {
    std::size_t count;
    std::optional<std::uint64_t> shuffle_seed;
};
struct Wait {
    TestDesc desc;
};
struct Timeout {
    TestDesc desc;
};
struct Outcome {
    CompletedTest completed;
};
}  // namespace event

// The stream of events that drives a report.
using TestEvent =
    std::variant<event::FilteredOut, event::Plan, event::Wait, event::Timeout, event::Outcome>;
using EventSink = std::function<IoResult(TestEvent)>;

// When a check in a multi-threaded run counts as long-running.
inline constexpr std::chrono::seconds TEST_WARN_TIMEOUT{60};

// The run loop: selects, orders and runs the checks, handing each event to `on_event`; an error
// from `on_event` ends the loop and is given back.
IoResult run_tests(const TestOpts& opts, std::vector<TestDescAndFn> tests,
                   const EventSink& on_event,
                   std::chrono::nanoseconds long_running_after = TEST_WARN_TIMEOUT);

// Starts one check; its CompletedTest arrives on `results`. Nothing when no thread was needed
// (an ignored check) or none could be had for the moment (the check then ran on this thread).
std::optional<JoinHandle> run_test(const TestOpts& opts, bool ignore_all, TestId id,
                                   TestDescAndFn test, const ChannelPtr<CompletedTest>& results);

}  // namespace runner
