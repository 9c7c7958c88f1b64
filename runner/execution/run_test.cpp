#include "runner/execution/run.hpp"

#include <gtest/gtest.h>
#include <pthread.h>

#include <condition_variable>
#include <functional>
#include <iostream>
#include <latch>
#include <map>
#include <memory>
#include <mutex>
#include <semaphore>
#include <stdexcept>

#include "runner/check/assert.hpp"
#include "runner/execution/capture.hpp"
#include "runner/test_support/test_helpers.hpp"

namespace runner {
namespace {

using namespace std::chrono_literals;
using testing::check;
using testing::serial_opts;

TestOutcome pass() {
    return {};
}

struct Recorded {
    std::vector<std::string> log;  // "wait NAME", "timeout NAME", "outcome NAME"
    std::map<std::string, CompletedTest> outcomes;
};

// Runs the checks and records their events; `on_log` sees each log line as it is recorded.
Recorded run_recording(const TestOpts& opts, std::vector<TestDescAndFn> tests,
                       std::chrono::nanoseconds long_running_after = TEST_WARN_TIMEOUT,
                       const std::function<void(const std::string&)>& on_log = {}) {
    Recorded recorded;
    const EventSink sink = [&](TestEvent event) -> IoResult {
        if (auto* wait = std::get_if<event::Wait>(&event)) {
            recorded.log.push_back("wait " + wait->desc.name);
        } else if (auto* timeout = std::get_if<event::Timeout>(&event)) {
            recorded.log.push_back("timeout " + timeout->desc.name);
        } else if (auto* outcome = std::get_if<event::Outcome>(&event)) {
            recorded.log.push_back("outcome " + outcome->completed.desc.name);
            recorded.outcomes.emplace(outcome->completed.desc.name, std::move(outcome->completed));
        }
        if (on_log && !recorded.log.empty()) {
            on_log(recorded.log.back());
        }
        return {};
    };
    EXPECT_TRUE(run_tests(opts, std::move(tests), sink, long_running_after).has_value());
    return recorded;
}

TEST(RunTests, CaptureIsKeptApartBetweenChecksRunningAtOnce) {
    std::latch both_running{2};
    const auto printing = [&](std::string word) {
        return [&both_running, word] {
            both_running.arrive_and_wait();
            std::cout << word << "-cout\n";
            std::cerr << word << "-cerr\n";
            print(word + "-print\n");
            JoinHandle child = spawn_thread([word] { std::cout << word << "-child\n"; });
            child.join();
            return pass();
        };
    };
    TestOpts opts;
    opts.test_threads = 2;
    const Recorded run =
        run_recording(opts, {check("left", printing("L")), check("right", printing("R"))});
    EXPECT_EQ(run.outcomes.at("left").stdout_bytes, "L-cout\nL-cerr\nL-print\nL-child\n");
    EXPECT_EQ(run.outcomes.at("right").stdout_bytes, "R-cout\nR-cerr\nR-print\nR-child\n");
}

TEST(RunTests, NoCaptureLeavesTheOutputUncaptured) {
    TestOpts opts = serial_opts();
    opts.nocapture = true;
    const Recorded run = run_recording(opts, {check("loud", [] {
                                           print("");
                                           return pass();
                                       })});
    EXPECT_EQ(run.outcomes.at("loud").stdout_bytes, "");
    EXPECT_EQ(current_output_capture(), nullptr);
}

TEST(RunTests, AnythingThrownFailsOnlyItsCheck) {
    const Recorded run = run_recording(
        serial_opts(), {check("int",
                              [] {
                                  throw 42;
                                  return pass();
                              }),
                        check("standard",
                              [] {
                                  throw std::runtime_error{"disk on fire"};
                                  return pass();
                              }),
                        check("error_text", [] { return TestOutcome{std::unexpected{"bad"}}; }),
                        check("after", pass)});
    EXPECT_TRUE(std::holds_alternative<result::Failed>(run.outcomes.at("int").result));
    EXPECT_NE(run.outcomes.at("int").stdout_bytes.find("uncaught exception of type int\n"),
              std::string::npos);
    EXPECT_TRUE(std::holds_alternative<result::Failed>(run.outcomes.at("standard").result));
    EXPECT_NE(run.outcomes.at("standard").stdout_bytes.find("panicked:\ndisk on fire\n"),
              std::string::npos);
    EXPECT_TRUE(std::holds_alternative<result::Failed>(run.outcomes.at("error_text").result));
    EXPECT_TRUE(std::holds_alternative<result::Passed>(run.outcomes.at("after").result));
}

TEST(RunTests, ShouldPanicSeesTheThrownText) {
    const Recorded run =
        run_recording(serial_opts(), {check(
                                          "text",
                                          [] {
                                              throw std::runtime_error{"index out of range"};
                                              return pass();
                                          },
                                          ShouldPanic::with_text("out of range")),
                                      check(
                                          "no_text",
                                          [] {
                                              throw 7;
                                              return pass();
                                          },
                                          ShouldPanic::with_text("out of range"))});
    EXPECT_TRUE(std::holds_alternative<result::Passed>(run.outcomes.at("text").result));
    const auto* failed = std::get_if<result::FailedWithMessage>(&run.outcomes.at("no_text").result);
    ASSERT_NE(failed, nullptr);
    EXPECT_NE(failed->message.find("found non-string value: `int`"), std::string::npos);
}

TEST(RunTests, EachCheckRunsOnAThreadNamedAfterIt) {
    const std::string name = "common::motion::tests::a_rather_long_name";
    std::string kernel_name;
    std::string report_name;
    const Recorded run =
        run_recording(serial_opts(), {check(name, [&] {
                          char buffer[64] = {};
                          pthread_getname_np(pthread_self(), buffer, sizeof buffer);
                          kernel_name = buffer;
                          report_name = current_thread_name();
                          return pass();
                      })});
    EXPECT_EQ(kernel_name, name.substr(0, 15));
    EXPECT_EQ(report_name, name);
    EXPECT_EQ(current_thread_name(), "main");
}

TEST(RunTests, CheckThreadsGetTheMinimumStack) {
    std::size_t stack_size = 0;
    run_recording(serial_opts(), {check("stack", [&] {
                      pthread_attr_t attr;
                      pthread_getattr_np(pthread_self(), &attr);
                      pthread_attr_getstacksize(&attr, &stack_size);
                      pthread_attr_destroy(&attr);
                      return pass();
                  })});
    EXPECT_GE(stack_size, min_stack_size());
    if (std::getenv("ORRA_MIN_STACK") == nullptr) {
        EXPECT_EQ(min_stack_size(), 2097152u);
    }
}

TEST(RunTests, LongRunningCheckIsReportedOnceInMultiThreadedRuns) {
    // The slow check runs until its timeout has been reported (a broken runner fails it after
    // ten seconds instead of hanging); the quick one has a tenth of a second to finish.
    std::binary_semaphore timeout_seen{0};
    const auto slow = [&] {
        RUNNER_ASSERT(timeout_seen.try_acquire_for(10s));
        return pass();
    };
    TestOpts opts;
    opts.test_threads = 2;
    const Recorded multi = run_recording(opts, {check("slow", slow), check("quick", pass)}, 100ms,
                                         [&](const std::string& line) {
                                             if (line == "timeout slow") {
                                                 timeout_seen.release();
                                             }
                                         });
    EXPECT_EQ(std::count(multi.log.begin(), multi.log.end(), "timeout slow"), 1);
    EXPECT_EQ(std::count(multi.log.begin(), multi.log.end(), "timeout quick"), 0);
    EXPECT_TRUE(std::holds_alternative<result::Passed>(multi.outcomes.at("slow").result));
    const auto timeout_at = std::find(multi.log.begin(), multi.log.end(), "timeout slow");
    EXPECT_LT(timeout_at, std::find(multi.log.begin(), multi.log.end(), "outcome slow"));

    // With no time allowed every check is long-running, and still a serial run reports none.
    const Recorded serial = run_recording(serial_opts(), {check("slow", pass)}, 0ns);
    EXPECT_EQ(serial.log, (std::vector<std::string>{"wait slow", "outcome slow"}));
}

// Lets checks through in pairs: each waits for a partner, so that two of them always run at
// once; a runner that never runs two at once fails the wait after ten seconds instead of hanging.
class Pairs {
  public:
    bool meet() {
        std::unique_lock lock{mutex_};
        const int pair = pairs_met_;
        if (++waiting_ == 2) {
            waiting_ = 0;
            ++pairs_met_;
            partner_.notify_all();
            return true;
        }
        return partner_.wait_for(lock, 10s, [&] { return pairs_met_ != pair; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable partner_;
    int waiting_ = 0;
    int pairs_met_ = 0;
};

TEST(RunTests, AtMostTheThreadCountRunAtOnce) {
    std::atomic<int> running{0};
    std::atomic<int> most{0};
    Pairs pairs;
    const auto counted = [&] {
        const int now = ++running;
        int seen = most.load();
        while (now > seen && !most.compare_exchange_weak(seen, now)) {
        }
        RUNNER_ASSERT(pairs.meet());
        --running;
        return pass();
    };
    TestOpts opts;
    opts.test_threads = 2;
    std::vector<TestDescAndFn> tests;
    for (int i = 0; i < 6; ++i) {
        tests.push_back(check("c" + std::to_string(i), counted));
    }
    const Recorded run = run_recording(opts, std::move(tests));
    EXPECT_EQ(run.outcomes.size(), 6u);
    for (const auto& [name, completed] : run.outcomes) {
        EXPECT_TRUE(std::holds_alternative<result::Passed>(completed.result)) << name;
    }
    EXPECT_EQ(most.load(), 2);
}

TEST(RunTests, FailFastInMultiThreadedRunsStopsReporting) {
    TestOpts opts;
    opts.test_threads = 2;
    opts.fail_fast = true;
    // The slow check is still running when the run stops, and is let go only afterwards; the
    // semaphore is shared with it because its thread outlives the run.
    const auto run_over = std::make_shared<std::binary_semaphore>(0);
    const Recorded run = run_recording(opts, {check("fails",
                                                    [] {
                                                        fail("x");
                                                        return pass();
                                                    }),
                                              check("slow",
                                                    [run_over] {
                                                        run_over->acquire();
                                                        return pass();
                                                    }),
                                              check("never", pass)});
    run_over->release();
    EXPECT_EQ(run.outcomes.size(), 1u);
    EXPECT_TRUE(run.outcomes.contains("fails"));
}

TEST(RunTests, IgnoredChecksAndRunTestsOff) {
    TestDescAndFn ignored = check("ignored", [] {
        fail("must not run");
        return pass();
    });
    ignored.desc.ignore = true;
    TestOpts opts = serial_opts();
    Recorded run = run_recording(opts, {ignored});
    EXPECT_TRUE(std::holds_alternative<result::Ignored>(run.outcomes.at("ignored").result));
    opts.run_tests = false;
    run = run_recording(opts, {check("plain", pass)});
    EXPECT_TRUE(std::holds_alternative<result::Ignored>(run.outcomes.at("plain").result));
}

TEST(SpawnThread, ReportsAnExceptionThatEndedTheThread) {
    JoinHandle throwing = spawn_thread([] { throw std::runtime_error{"late"}; });
    EXPECT_TRUE(throwing.join());
    JoinHandle normal = spawn_thread([] {});
    EXPECT_FALSE(normal.join());
}

}  // namespace
}  // namespace runner
