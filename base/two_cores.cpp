#include "tarnwick_base/two_cores.hpp"

#include <pthread.h>
#include <sched.h>

#include <cstddef>

namespace tarnwick_base {
namespace {

bool allowed_cores(cpu_set_t& cores) {
    CPU_ZERO(&cores);
    return ::sched_getaffinity(0, sizeof cores, &cores) == 0;
}

}  // namespace

bool may_use_two_cores() {
    cpu_set_t cores;
    return allowed_cores(cores) && CPU_COUNT(&cores) >= 2;
}

void keep_off_this_core(std::thread::native_handle_type thread) {
    cpu_set_t cores;
    const int here = ::sched_getcpu();
    if (!allowed_cores(cores) || here < 0) {
        return;
    }
    CPU_CLR(static_cast<std::size_t>(here), &cores);
    if (CPU_COUNT(&cores) > 0) {
        (void)::pthread_setaffinity_np(thread, sizeof cores, &cores);
    }
}

}  // namespace tarnwick_base
