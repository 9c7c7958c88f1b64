#pragma once

#include <chrono>
#include <cstdint>

namespace tarnwick_tool {

// A line on standard error, redrawn in place at most ten times a second: files done of the
// total, bytes written, and the rate. Drawn only when standard error is a terminal.
class Progress {
  public:
    // Never drawn when `wanted` is unset.
    explicit Progress(std::size_t total_files, bool wanted = true);

    void update(std::size_t files_done, std::uint64_t bytes_written);
    // Erases the line, so that a message or the summary starts on a clean line.
    void clear();

  private:
    using Clock = std::chrono::steady_clock;

    bool shown_;
    bool drawn_ = false;
    std::size_t total_files_;
    Clock::time_point started_ = Clock::now();
    Clock::time_point last_drawn_{};
};

}  // namespace tarnwick_tool
