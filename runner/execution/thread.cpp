#include "runner/execution/thread.hpp"

#include <cxxabi.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "runner/execution/capture.hpp"

namespace runner {

struct JoinHandle::State {
    std::optional<std::string> name;
    std::function<void()> body;
    CapturePtr capture;
    bool ended_by_exception = false;
};

namespace {

constexpr std::size_t DEFAULT_STACK_SIZE = 2 * 1024 * 1024;
constexpr std::size_t KERNEL_NAME_MAX = 15;

thread_local std::optional<std::string> tls_thread_name;

std::size_t read_min_stack() {
    const char* value = std::getenv("ORRA_MIN_STACK");
    if (value == nullptr) {
        return DEFAULT_STACK_SIZE;
    }
    const std::string_view text{value};
    std::size_t size = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), size);
    if (ec != std::errc{} || end != text.data() + text.size()) {
        return DEFAULT_STACK_SIZE;
    }
    return size;
}

// pthread refuses stacks below its minimum or not a whole number of pages; round up instead.
std::size_t usable_stack_size(std::size_t requested) {
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    std::size_t size = std::max(requested, static_cast<std::size_t>(PTHREAD_STACK_MIN));
    return (size + page - 1) / page * page;
}

void* thread_start(void* raw) {
    const auto state = *static_cast<std::shared_ptr<JoinHandle::State>*>(raw);
    delete static_cast<std::shared_ptr<JoinHandle::State>*>(raw);
    if (state->name) {
        tls_thread_name = state->name;
        const std::string kernel_name = state->name->substr(0, KERNEL_NAME_MAX);
        pthread_setname_np(pthread_self(), kernel_name.c_str());
    }
    set_output_capture(state->capture);
    try {
        state->body();
    } catch (const abi::__forced_unwind&) {
        throw;  // thread cancellation must unwind the whole thread
    } catch (...) {
        state->ended_by_exception = true;
    }
    set_output_capture(nullptr);
    return nullptr;
}

}  // namespace

std::string current_thread_name() {
    if (tls_thread_name) {
        return *tls_thread_name;
    }
    return gettid() == getpid() ? "main" : "<unnamed>";
}

std::size_t min_stack_size() {
    static const std::size_t size = read_min_stack();
    return size;
}

JoinHandle::JoinHandle(pthread_t thread, std::shared_ptr<State> state)
    : thread_{thread}, state_{std::move(state)} {}

JoinHandle::JoinHandle(JoinHandle&& other) noexcept
    : thread_{other.thread_}, state_{std::exchange(other.state_, nullptr)} {}

JoinHandle& JoinHandle::operator=(JoinHandle&& other) noexcept {
    if (this != &other) {
        join();
        thread_ = other.thread_;
        state_ = std::exchange(other.state_, nullptr);
    }
    return *this;
}

JoinHandle::~JoinHandle() {
    join();
}

bool JoinHandle::join() {
    if (!state_) {
        return false;
    }
    pthread_join(thread_, nullptr);
    const bool ended_by_exception = state_->ended_by_exception;
    state_.reset();
    return ended_by_exception;
}

void JoinHandle::detach() {
    if (state_) {
        pthread_detach(thread_);
        state_.reset();
    }
}

std::expected<JoinHandle, int> spawn_thread(std::optional<std::string> name, std::size_t stack_size,
                                            std::function<void()> body) {
    auto state = std::make_shared<JoinHandle::State>(
        JoinHandle::State{std::move(name), std::move(body), current_output_capture(), false});
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    int error = pthread_attr_setstacksize(&attr, usable_stack_size(stack_size));
    pthread_t thread{};
    auto* start_arg = new std::shared_ptr<JoinHandle::State>(state);
    if (error == 0) {
        error = pthread_create(&thread, &attr, thread_start, start_arg);
    }
    pthread_attr_destroy(&attr);
    if (error != 0) {
        delete start_arg;
        return std::unexpected{error};
    }
    return JoinHandle{thread, std::move(state)};
}

JoinHandle spawn_thread(std::function<void()> body) {
    auto handle = spawn_thread(std::nullopt, DEFAULT_STACK_SIZE, std::move(body));
    if (!handle) {
        throw std::runtime_error{std::string{"failed to spawn thread: "} +
                                 std::strerror(handle.error())};
    }
    return std::move(*handle);
}

}  // namespace runner
