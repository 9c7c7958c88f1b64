#include "runner/report/pretty_formatter.hpp"

#include <gtest/gtest.h>

#include "runner/test_support/recording_output.hpp"

namespace runner {
namespace {

TEST(PrettyFormatter, BenchSamplesWithThousandsSeparators) {
    EXPECT_EQ(format_bench_samples({0, 1234567, 89, 0}), "     1,234,567 ns/iter (+/- 89)");
    EXPECT_EQ(format_bench_samples({0, 999, 1000, 25}),
              "           999 ns/iter (+/- 1,000) = 25 MB/s");
}

TEST(PrettyFormatter, TimesAndTimeLimitFailureWithReportTime) {
    std::string written;
    TestTimeOptions times;
    PrettyFormatter formatter{std::make_unique<RecordingOutput>(written), false, false, times};
    TestDesc desc;
    desc.name = "slow";
    desc.test_kind = TestKind::Integration;
    ConsoleTestState state;
    ASSERT_TRUE(formatter.write_test_start(desc));
    ASSERT_TRUE(formatter.write_result(desc, result::FailedTimeLimit{},
                                       TestExecTime{std::chrono::milliseconds{1500}}, "", state));
    EXPECT_EQ(written, "test slow ... FAILED (time limit exceeded) <1.500s>\n");
    written.clear();
    state.failed = 1;
    state.total = 1;
    state.time_failures.push_back({desc, ""});
    ASSERT_TRUE(formatter.write_run_finish(state));
    EXPECT_EQ(
        written,
        "\nfailures:\n\nfailures:\n"
        "\nfailures (time limit exceeded):\n\nfailures (time limit exceeded):\n    slow\n"
        "\ntest result: FAILED. 0 passed; 1 failed; 0 ignored; 0 measured; 0 filtered out\n\n");
}

}  // namespace
}  // namespace runner
