#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

namespace runner {

// An unbounded multi-producer, single-consumer queue; each sender's order is kept. Senders never
// block and never fail, also after the receiver has stopped reading.
template <class T>
class Channel {
  public:
    void send(T value) {
        {
            const std::lock_guard lock{mutex_};
            queue_.push_back(std::move(value));
        }
        ready_.notify_one();
    }

    T recv() {
        std::unique_lock lock{mutex_};
        ready_.wait(lock, [this] { return !queue_.empty(); });
        return pop(lock);
    }

    // Nothing when no value arrived before `deadline`.
    std::optional<T> recv_until(std::chrono::steady_clock::time_point deadline) {
        std::unique_lock lock{mutex_};
        if (!ready_.wait_until(lock, deadline, [this] { return !queue_.empty(); })) {
            return std::nullopt;
        }
        return pop(lock);
    }

  private:
    T pop(std::unique_lock<std::mutex>&) {
        T value = std::move(queue_.front());
        queue_.pop_front();
        return value;
    }

    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<T> queue_;
};

template <class T>
using ChannelPtr = std::shared_ptr<Channel<T>>;

}  // namespace runner
