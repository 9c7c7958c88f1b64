#include "tarnwick_base/two_cores.hpp"

#include <pthread.h>
#include <sched.h>

#include <gtest/gtest.h>
#include <latch>
#include <thread>

namespace tarnwick_base {
namespace {

TEST(TwoCores, KeepsAThreadOnTheOtherAllowedCoresOnly) {
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    ASSERT_EQ(::sched_getaffinity(0, sizeof allowed, &allowed), 0);
    EXPECT_EQ(may_use_two_cores(), CPU_COUNT(&allowed) >= 2);

    std::latch done{1};
    std::jthread other{[&] { done.wait(); }};
    keep_off_this_core(other.native_handle());
    cpu_set_t kept;
    CPU_ZERO(&kept);
    ASSERT_EQ(::pthread_getaffinity_np(other.native_handle(), sizeof kept, &kept), 0);
    done.count_down();

    // One core fewer, all of them allowed; with one core the thread stays where it may run.
    cpu_set_t both;
    CPU_AND(&both, &kept, &allowed);
    EXPECT_TRUE(CPU_EQUAL(&both, &kept));
    EXPECT_EQ(CPU_COUNT(&kept), CPU_COUNT(&allowed) >= 2 ? CPU_COUNT(&allowed) - 1 : 1);
}

}  // namespace
}  // namespace tarnwick_base
