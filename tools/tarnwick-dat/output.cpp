#include "output.hpp"

#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "archive.hpp"
#include "report.hpp"

namespace tarnwick_tool {

namespace {

constexpr std::size_t flush_threshold = 1 << 16;

}  // namespace

void StandardOutput::write(std::string_view text) {
    if (failed()) {
        return;
    }
    if (text.size() >= flush_threshold) {
        flush();
        write_out(text);
        return;
    }
    buffer_ += text;
    if (buffer_.size() >= flush_threshold) {
        flush();
    }
}

void StandardOutput::write(std::span<const std::uint8_t> bytes) {
    write(std::string_view{reinterpret_cast<const char*>(bytes.data()), bytes.size()});
}

void StandardOutput::flush() {
    write_out(buffer_);
    buffer_.clear();
}

void StandardOutput::write_out(std::string_view rest) {
    while (!rest.empty() && !failed()) {
        const ssize_t written = ::write(STDOUT_FILENO, rest.data(), rest.size());
        if (written >= 0) {
            rest.remove_prefix(static_cast<std::size_t>(written));
        } else if (errno == EPIPE) {
            end_for_closed_output();
        } else if (errno != EINTR) {
            error_ = errno;
        }
    }
}

int StandardOutput::finish(int status) {
    flush();
    if (failed()) {
        report_error("cannot write to standard output: " +
                     dat::IoError::from_errno(*error_).display());
        return 1;
    }
    return status;
}

void end_for_closed_output() {
    std::signal(SIGPIPE, SIG_DFL);
    sigset_t pipe_only;
    sigemptyset(&pipe_only);
    sigaddset(&pipe_only, SIGPIPE);
    ::sigprocmask(SIG_UNBLOCK, &pipe_only, nullptr);
    std::raise(SIGPIPE);
    ::_exit(141);
}

bool is_terminal(int fd) {
    return ::isatty(fd) == 1;
}

}  // namespace tarnwick_tool
