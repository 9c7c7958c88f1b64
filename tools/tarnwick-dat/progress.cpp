#include "progress.hpp"

#include <unistd.h>

#include <cstdio>

#include "output.hpp"

namespace tarnwick_tool {

namespace {

constexpr auto redraw_interval = std::chrono::milliseconds{100};
constexpr double mebibyte = 1024.0 * 1024.0;

}  // namespace

Progress::Progress(std::size_t total_files, bool wanted)
    : shown_{wanted && is_terminal(STDERR_FILENO)}, total_files_{total_files} {}

void Progress::update(std::size_t files_done, std::uint64_t bytes_written) {
    const Clock::time_point now = Clock::now();
    if (!shown_ || now - last_drawn_ < redraw_interval) {
        return;
    }
    last_drawn_ = now;
    const double seconds = std::chrono::duration<double>(now - started_).count();
    const double mib = static_cast<double>(bytes_written) / mebibyte;
    std::fprintf(stderr, "\r\33[K%zu/%zu files, %.1f MiB, %.1f MiB/s", files_done, total_files_,
                 mib, seconds > 0 ? mib / seconds : 0.0);
    std::fflush(stderr);
    drawn_ = true;
}

void Progress::clear() {
    if (drawn_) {
        std::fputs("\r\33[K", stderr);
        std::fflush(stderr);
        drawn_ = false;
    }
}

}  // namespace tarnwick_tool
