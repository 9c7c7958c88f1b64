#include "runner/execution/capture.hpp"

#include <gtest/gtest.h>

#include <exception>
#include <iostream>
#include <string>

#include "tarnwick_base/test_support/forked_child.hpp"

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

TEST(Capture, TerminationWritesTheCapturedOutputFirst) {
    const auto run = tarnwick_base::test_support::run_in_child([] {
        static TerminateFlushGuard guard;
        set_output_capture(std::make_shared<CaptureBuffer>());
        std::cout << "captured before the end\n";
        std::terminate();
    });
    EXPECT_EQ(run.out, "captured before the end\n");
}

}  // namespace
}  // namespace runner
