#pragma once

#include <concepts>
#include <source_location>
#include <string>
#include <string_view>

#include "runner/check/debug_render.hpp"
#include "runner/check/panic.hpp"

// Assertions for checks. A failed one writes the failure report into the check's output and ends
// the check at once; the caller's location is recorded.

namespace runner {
namespace detail {

template <class L, class R>
[[noreturn]] void fail_comparison(std::string_view op, const L& left, const R& right,
                                  const std::string* message, std::source_location location) {
    std::string text = "assertion `left ";
    text.append(op).append(" right` failed");
    if (message != nullptr) {
        text.append(": ").append(*message);
    }
    text.append("\n  left: ").append(debug_render(left));
    text.append("\n right: ").append(debug_render(right));
    panic(std::move(text), location);
}

}  // namespace detail

template <class L, class R>
void assert_eq(const L& left, const R& right,
               std::source_location location = std::source_location::current()) {
    if (!(left == right)) {
        detail::fail_comparison("==", left, right, nullptr, location);
    }
}

template <class L, class R>
void assert_eq(const L& left, const R& right, const std::string& message,
               std::source_location location = std::source_location::current()) {
    if (!(left == right)) {
        detail::fail_comparison("==", left, right, &message, location);
    }
}

// A message that costs something to put into words, asked for its `text()` only when the
// assertion fails.
template <class Message>
concept DeferredMessage = requires(const Message& message) {
    { message.text() } -> std::convertible_to<std::string>;
};

template <class L, class R, DeferredMessage Message>
void assert_eq(const L& left, const R& right, const Message& message,
               std::source_location location = std::source_location::current()) {
    if (!(left == right)) {
        const std::string text = message.text();
        detail::fail_comparison("==", left, right, &text, location);
    }
}

template <class L, class R>
void assert_ne(const L& left, const R& right,
               std::source_location location = std::source_location::current()) {
    if (left == right) {
        detail::fail_comparison("!=", left, right, nullptr, location);
    }
}

template <class L, class R>
void assert_ne(const L& left, const R& right, const std::string& message,
               std::source_location location = std::source_location::current()) {
    if (left == right) {
        detail::fail_comparison("!=", left, right, &message, location);
    }
}

// Fails with `message` alone when `condition` is false.
inline void assert_that(bool condition, const std::string& message,
                        std::source_location location = std::source_location::current()) {
    if (!condition) {
        panic(message, location);
    }
}

// Ends the check with `message`.
[[noreturn]] inline void fail(std::string message,
                              std::source_location location = std::source_location::current()) {
    panic(std::move(message), location);
}

}  // namespace runner

// A condition check without a message reports the condition's source text.
#define RUNNER_ASSERT(condition) \
    ::runner::assert_that(static_cast<bool>(condition), "assertion failed: " #condition)
