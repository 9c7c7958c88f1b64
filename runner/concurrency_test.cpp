#include "runner/concurrency.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace runner {
namespace {

namespace fs = std::filesystem;

TEST(ParseThreadCount, AcceptsOnlyPositiveWholeNumbers) {
    EXPECT_EQ(parse_thread_count("1"), 1u);
    EXPECT_EQ(parse_thread_count("16"), 16u);
    EXPECT_EQ(parse_thread_count("+3"), 3u);
    for (const char* bad :
         {"", "0", "-1", "abc", "4x", " 4", "4 ", "+", "1.5", "99999999999999999999999"}) {
        EXPECT_EQ(parse_thread_count(bad), std::nullopt) << bad;
    }
}

class CgroupTree : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ =
            fs::temp_directory_path() /
            ("runner_cgroup_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
    }
    void TearDown() override { fs::remove_all(root_); }

    void write(const fs::path& relative, const std::string& text) {
        fs::create_directories((root_ / relative).parent_path());
        std::ofstream{root_ / relative} << text;
    }

    fs::path root_;
};

TEST_F(CgroupTree, V2QuotaOfTheGroupAndItsParentsCounts) {
    write("a/b/cpu.max", "max 100000\n");
    write("a/cpu.max", "250000 100000\n");
    EXPECT_EQ(cgroup_cpu_limit("0::/a/b\n", root_), 2u);
    write("a/b/cpu.max", "100000 100000\n");
    EXPECT_EQ(cgroup_cpu_limit("0::/a/b\n", root_), 1u);
}

TEST_F(CgroupTree, V2WithoutQuotaOrBelowOneProcessor) {
    write("a/cpu.max", "max 100000\n");
    EXPECT_EQ(cgroup_cpu_limit("0::/a\n", root_), std::nullopt);
    write("a/cpu.max", "50000 100000\n");
    EXPECT_EQ(cgroup_cpu_limit("0::/a\n", root_), 1u);
    EXPECT_EQ(cgroup_cpu_limit("0::/missing/group\n", root_), std::nullopt);
}

TEST_F(CgroupTree, V1CfsQuota) {
    write("cpu,cpuacct/box/cpu.cfs_quota_us", "300000\n");
    write("cpu,cpuacct/box/cpu.cfs_period_us", "100000\n");
    EXPECT_EQ(cgroup_cpu_limit("4:memory:/box\n3:cpu,cpuacct:/box\n", root_), 3u);
    write("cpu,cpuacct/box/cpu.cfs_quota_us", "-1\n");
    EXPECT_EQ(cgroup_cpu_limit("3:cpu,cpuacct:/box\n", root_), std::nullopt);
}

TEST(GetConcurrency, EnvironmentVariableWinsWhenValid) {
    ::setenv("ORRA_TEST_THREADS", "7", 1);
    EXPECT_EQ(get_concurrency(), 7u);
    ::unsetenv("ORRA_TEST_THREADS");
    EXPECT_GE(get_concurrency(), 1u);
}

TEST(GetConcurrencyDeathTest, BadEnvironmentValueFailsTheMainThread) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (const char* bad : {"0", "abc", "", "-2"}) {
        const std::string expected =
            std::string{"ORRA_TEST_THREADS is `"} + bad + "`, should be a positive integer.\n";
        EXPECT_EXIT(
            {
                ::setenv("ORRA_TEST_THREADS", bad, 1);
                get_concurrency();
            },
            ::testing::ExitedWithCode(101), ::testing::HasSubstr(expected))
            << bad;
    }
}

}  // namespace
}  // namespace runner
