#pragma once

// Work split between the calling thread and one it makes, each on a core of its own.

#include <thread>

namespace tarnwick_base {

// Whether the calling thread may run on two cores or more (its affinity, not the machine's
// count: a process held to one core gains nothing from a second thread).
bool may_use_two_cores();

// Keeps `thread` off the core the calling thread runs on now. A scheduler may leave a new
// thread beside the one that made it, for milliseconds, while another core idles; this asks
// for the other cores. A hint: it fails quietly and leaves the thread as it was.
void keep_off_this_core(std::thread::native_handle_type thread);

}  // namespace tarnwick_base
