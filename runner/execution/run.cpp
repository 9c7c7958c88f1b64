#include "runner/execution/run.hpp"

#include <cxxabi.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <exception>
#include <memory>
#include <string>
#include <typeinfo>
#include <unordered_map>
#include <utility>

#include "runner/check/bencher.hpp"
#include "runner/check/outcome.hpp"
#include "runner/check/panic.hpp"
#include "runner/concurrency.hpp"
#include "runner/execution/capture.hpp"
#include "runner/execution/selection.hpp"
#include "tarnwick_base/expected.hpp"
#include "tarnwick_base/overloaded.hpp"

namespace runner {
namespace {

using tarnwick_base::Overloaded;

using Clock = std::chrono::steady_clock;

std::string current_exception_type_name() {
    const std::type_info* type = abi::__cxa_current_exception_type();
    if (type == nullptr) {
        return "<unknown>";
    }
    int status = 0;
    const std::unique_ptr<char, decltype(&std::free)> demangled{
        abi::__cxa_demangle(type->name(), nullptr, nullptr, &status), &std::free};
    return status == 0 && demangled ? demangled.get() : type->name();
}

TestOutcome invoke_entry(const TestFn& testfn) {
    Bencher bencher;
    return std::visit(
        Overloaded{[](StaticTestFn f) { return f(); }, [&](StaticBenchFn f) { return f(bencher); },
                   [](const DynTestFn& f) { return f(); },
                   [&](const DynBenchFn& f) { return f(bencher); }},
        testfn);
}

// Runs the entry; whatever it throws becomes the check's failure and never leaves here.
BodyOutcome call_guarded(const TestFn& testfn) {
    try {
        TestOutcome outcome = invoke_entry(testfn);
        if (!outcome) {
            return FailurePayload{std::move(outcome.error()), "std::string"};
        }
        return std::nullopt;
    } catch (const abi::__forced_unwind&) {
        throw;  // thread cancellation must unwind the whole thread
    } catch (const AssertionFailure& failure) {
        return FailurePayload{failure.message, "runner::AssertionFailure"};
    } catch (const std::exception& error) {
        const std::string type_name = current_exception_type_name();
        report_failure(error.what(), std::nullopt);
        return FailurePayload{error.what(), type_name};
    } catch (...) {
        const std::string type_name = current_exception_type_name();
        report_failure("uncaught exception of type " + type_name, std::nullopt);
        return FailurePayload{std::nullopt, type_name};
    }
}

// The steps on the check's own thread (or, without one, on the caller's).
void run_on_this_thread(const TestOpts& opts, TestId id, const TestDescAndFn& test,
                        const ChannelPtr<CompletedTest>& results) {
    const CapturePtr capture = opts.nocapture ? nullptr : std::make_shared<CaptureBuffer>();
    const CapturePtr previous = set_output_capture(capture);
    const Clock::time_point start = Clock::now();
    const BodyOutcome outcome = call_guarded(test.testfn);
    std::optional<TestExecTime> exec_time;
    if (opts.time_options) {
        exec_time = TestExecTime{Clock::now() - start};
    }
    set_output_capture(previous);
    TestResult result = calc_result(test.desc, outcome, opts.time_options, exec_time);
    results->send(CompletedTest{id, test.desc, std::move(result), exec_time,
                                capture ? capture->take() : std::string{}});
}

std::optional<std::uint64_t> choose_shuffle_seed(const TestOpts& opts) {
    if (opts.shuffle_seed) {
        return opts.shuffle_seed;
    }
    if (!opts.shuffle) {
        return std::nullopt;
    }
    const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
    if (since_epoch.count() < 0) {
        fail_main_thread("Failed to get system time");
    }
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(since_epoch).count());
}

// A worker that ended by an exception after it had sent a pass has not passed.
void apply_join(std::optional<JoinHandle>& handle, CompletedTest& completed) {
    if (handle && handle->join() && std::holds_alternative<result::Passed>(completed.result)) {
        completed.result = result::FailedWithMessage{"panicked after reporting success"};
    }
}

struct TimeoutEntry {
    TestId id;
    TestDesc desc;
    Clock::time_point timeout;
};

class RunLoop {
  public:
    RunLoop(const TestOpts& opts, const EventSink& on_event, std::chrono::nanoseconds warn_after)
        : opts_{opts}, on_event_{on_event}, warn_after_{warn_after} {}

    IoResult run_serially(std::vector<TestDescAndFn> tests) {
        for (TestId id = 0; id < tests.size(); ++id) {
            TARNWICK_TRY(on_event_(event::Wait{tests[id].desc}));
            std::optional<JoinHandle> handle = start(id, std::move(tests[id]));
            CompletedTest completed = results_->recv();
            apply_join(handle, completed);
            const bool failed = is_failure(completed.result);
            TARNWICK_TRY(on_event_(event::Outcome{std::move(completed)}));
            if (failed && opts_.fail_fast) {
                break;
            }
        }
        return {};
    }

    IoResult run_concurrently(std::vector<TestDescAndFn> tests, std::size_t concurrency) {
        std::unordered_map<TestId, std::optional<JoinHandle>> running;
        std::deque<TimeoutEntry> timeouts;
        TestId next = 0;
        while (next < tests.size() || !running.empty()) {
            while (running.size() < concurrency && next < tests.size()) {
                const TestId id = next++;
                const Clock::time_point timeout = Clock::now() + warn_after_;
                TARNWICK_TRY(on_event_(event::Wait{tests[id].desc}));
                timeouts.push_back({id, tests[id].desc, timeout});
                running.emplace(id, start(id, std::move(tests[id])));
            }
            auto completed = wait_for_result(timeouts, running);
            if (!completed) {
                return tarnwick_base::take_error(completed);
            }
            auto finished = running.extract(completed->id);
            apply_join(finished.mapped(), *completed);
            const bool failed = is_failure(completed->result);
            TARNWICK_TRY(on_event_(event::Outcome{std::move(*completed)}));
            if (failed && opts_.fail_fast) {
                // The checks still running are left to themselves; the channel outlives them.
                for (auto& [id, handle] : running) {
                    if (handle) {
                        handle->detach();
                    }
                }
                return {};
            }
        }
        return {};
    }

  private:
    std::optional<JoinHandle> start(TestId id, TestDescAndFn test) {
        return run_test(opts_, !opts_.run_tests, id, std::move(test), results_);
    }

    std::expected<CompletedTest, IoError> wait_for_result(
        std::deque<TimeoutEntry>& timeouts,
        const std::unordered_map<TestId, std::optional<JoinHandle>>& running) {
        while (!timeouts.empty()) {
            if (auto completed = results_->recv_until(timeouts.front().timeout)) {
                return std::move(*completed);
            }
            const Clock::time_point now = Clock::now();
            while (!timeouts.empty() && timeouts.front().timeout <= now) {
                TimeoutEntry entry = std::move(timeouts.front());
                timeouts.pop_front();
                if (running.contains(entry.id)) {
                    TARNWICK_TRY(on_event_(event::Timeout{std::move(entry.desc)}));
                }
            }
        }
        return results_->recv();
    }

    const TestOpts& opts_;
    const EventSink& on_event_;
    std::chrono::nanoseconds warn_after_;
    // Shared with the workers, which may outlive the loop after a fail-fast stop.
    ChannelPtr<CompletedTest> results_ = std::make_shared<Channel<CompletedTest>>();
};

}  // namespace

std::optional<JoinHandle> run_test(const TestOpts& opts, bool ignore_all, TestId id,
                                   TestDescAndFn test, const ChannelPtr<CompletedTest>& results) {
    const bool ignored = (ignore_all && !is_benchmark(test.testfn)) || test.desc.ignore;
    if (ignored) {
        results->send(CompletedTest{id, std::move(test.desc), result::Ignored{}, std::nullopt, {}});
        return std::nullopt;
    }
    auto shared_test = std::make_shared<TestDescAndFn>(std::move(test));
    auto handle = spawn_thread(
        shared_test->desc.name, min_stack_size(),
        [opts, id, shared_test, results] { run_on_this_thread(opts, id, *shared_test, results); });
    if (handle) {
        return std::move(*handle);
    }
    if (handle.error() != EAGAIN) {
        fail_main_thread(std::string{"failed to spawn thread to run test: "} +
                         std::strerror(handle.error()));
    }
    run_on_this_thread(opts, id, *shared_test, results);
    return std::nullopt;
}

IoResult run_tests(const TestOpts& opts, std::vector<TestDescAndFn> tests,
                   const EventSink& on_event, std::chrono::nanoseconds long_running_after) {
    const std::size_t handed_in = tests.size();
    std::vector<TestDescAndFn> selected = filter_tests(opts, std::move(tests));
    TARNWICK_TRY(on_event(event::FilteredOut{handed_in - selected.size()}));
    const std::optional<std::uint64_t> seed = choose_shuffle_seed(opts);
    TARNWICK_TRY(on_event(event::Plan{selected.size(), seed}));
    const std::size_t concurrency = opts.test_threads ? *opts.test_threads : get_concurrency();
    if (seed) {
        shuffle_tests(*seed, selected);
    }
    RunLoop loop{opts, on_event, long_running_after};
    if (concurrency == 1) {
        return loop.run_serially(std::move(selected));
    }
    return loop.run_concurrently(std::move(selected), concurrency);
}

}  // namespace runner
