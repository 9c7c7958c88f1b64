#pragma once

#include <cstddef>
#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <pthread.h>

namespace runner {

// The calling thread's name for reports: the name it was started with, "main" for the process's
// first thread, else "<unnamed>".
std::string current_thread_name();

// The stack size of a check thread: ORRA_MIN_STACK bytes if it parses (read once), else 2 MiB.
std::size_t min_stack_size();

// A started thread that must be joined.
class JoinHandle {
  public:
    struct State;
    explicit JoinHandle(pthread_t thread, std::shared_ptr<State> state);
    JoinHandle(JoinHandle&&) noexcept;
    JoinHandle& operator=(JoinHandle&&) noexcept;
    JoinHandle(const JoinHandle&) = delete;
    JoinHandle& operator=(const JoinHandle&) = delete;
    // Joins the thread unless it was joined or detached already.
    ~JoinHandle();

    // Waits for the thread; true when its function ended by an exception.
    bool join();
    // Lets the thread run on unwatched; nobody waits for it.
    void detach();

  private:
    pthread_t thread_;
    std::shared_ptr<State> state_;
};

// Starts `body` on a new thread with the given stack size and, when present, name (the kernel's
// copy is cut to 15 bytes; reports use the whole name). The new thread inherits the caller's
// output capture. Gives the system's error number when the thread cannot be created.
std::expected<JoinHandle, int> spawn_thread(std::optional<std::string> name, std::size_t stack_size,
                                            std::function<void()> body);

// For checks that start threads of their own: unnamed, default stack, capture inherited.
JoinHandle spawn_thread(std::function<void()> body);

}  // namespace runner
