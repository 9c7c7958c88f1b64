#include "runner/execution/capture.hpp"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <exception>
#include <iostream>
#include <string>

namespace runner {
namespace {

TEST(Capture, StreamsAndPrintFunctionsGoToTheCapturingThreadOnly) {
    const CapturePtr capture = std::make_shared<CaptureBuffer>();
    const CapturePtr previous = set_output_capture(capture);
    std::cout << "out " << 42 << std::endl;
    std::cerr << "err\n";
    std::clog << "log\n";
    eprint("eprint\n");
    set_output_capture(previous);
    EXPECT_EQ(capture->take(), "out 42\nerr\nlog\neprint\n");
    EXPECT_EQ(capture->take(), "");
}

// Reads what a forked child writes to its standard output until it ends.
std::string stdout_of_child(void (*child)()) {
    int fds[2];
    if (pipe(fds) != 0) {
        return "<pipe failed>";
    }
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        child();
        _exit(0);
    }
    close(fds[1]);
    std::string text;
    char buffer[256];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    waitpid(pid, nullptr, 0);
    return text;
}

TEST(Capture, TerminationWritesTheCapturedOutputFirst) {
    const std::string out = stdout_of_child([] {
        static TerminateFlushGuard guard;
        set_output_capture(std::make_shared<CaptureBuffer>());
        std::cout << "captured before the end\n";
        std::terminate();
    });
    EXPECT_EQ(out, "captured before the end\n");
}

}  // namespace
}  // namespace runner
