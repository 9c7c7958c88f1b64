#include "runner/check/panic.hpp"

#include <execinfo.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "runner/execution/capture.hpp"
#include "runner/execution/thread.hpp"

namespace runner {
namespace {

enum class BacktraceStyle { Off, Short, Full };

std::atomic<bool> failure_reported{false};

BacktraceStyle backtrace_style() {
    const char* value = std::getenv("ORRA_BACKTRACE");
    if (value == nullptr || std::strcmp(value, "0") == 0) {
        return BacktraceStyle::Off;
    }
    return std::strcmp(value, "full") == 0 ? BacktraceStyle::Full : BacktraceStyle::Short;
}

// Short: the frames' symbols; full: also their addresses and every frame of the runner itself.
std::string backtrace_text(BacktraceStyle style) {
    constexpr int MAX_FRAMES = 128;
    void* frames[MAX_FRAMES];
    const int count = ::backtrace(frames, MAX_FRAMES);
    const std::unique_ptr<char*, decltype(&std::free)> symbols{::backtrace_symbols(frames, count),
                                                               &std::free};
    std::string text = "stack backtrace:\n";
    // The first two frames are this function and the report writer.
    const int first = style == BacktraceStyle::Full ? 0 : 2;
    for (int i = first; i < count; ++i) {
        text.append("  ").append(std::to_string(i - first)).append(": ");
        text.append(symbols ? symbols.get()[i] : "<unknown>");
        text.push_back('\n');
    }
    if (style == BacktraceStyle::Short) {
        text.append(
            "note: Some details are omitted, run with `ORRA_BACKTRACE=full` for a verbose "
            "backtrace.\n");
    }
    return text;
}

}  // namespace

void report_failure(std::string_view message, std::optional<std::source_location> location) {
    std::string text = "\nthread '";
    text.append(current_thread_name()).append("' (").append(std::to_string(gettid()));
    text.append(") panicked");
    if (location) {
        text.append(" at ").append(location->file_name()).push_back(':');
        text.append(std::to_string(location->line())).push_back(':');
        text.append(std::to_string(location->column()));
    }
    text.append(":\n").append(message).push_back('\n');
    const BacktraceStyle style = backtrace_style();
    if (style != BacktraceStyle::Off) {
        text.append(backtrace_text(style));
    } else if (!failure_reported.exchange(true)) {
        text.append(
            "note: run with `ORRA_BACKTRACE=1` environment variable to display a backtrace\n");
    }
    eprint(text);
}

void panic(std::string message, std::source_location location) {
    report_failure(message, location);
    throw AssertionFailure{std::move(message)};
}

void exit_with_output_error(const tarnwick_base::IoError& error) {
    eprint("error: io error when listing tests: " + error.debug() + "\n");
    std::fflush(stdout);
    std::exit(101);
}

void fail_main_thread(std::string_view message, std::source_location location) {
    report_failure(message, location);
    std::fflush(stdout);
    std::exit(101);
}

void reset_first_failure_mark() {
    failure_reported.store(false);
}

}  // namespace runner
