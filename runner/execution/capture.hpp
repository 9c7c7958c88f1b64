#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace runner {

// The bytes one check printed. Shared by the check's thread and the threads it starts.
class CaptureBuffer {
  public:
    void append(std::string_view bytes);
    std::string take();

  private:
    std::mutex mutex_;
    std::string bytes_;
};

using CapturePtr = std::shared_ptr<CaptureBuffer>;

// Makes `capture` the calling thread's output capture (null: print normally); gives the previous
// one. The first call routes std::cout, std::cerr and std::clog through the per-thread switch.
CapturePtr set_output_capture(CapturePtr capture);
// The calling thread's output capture, or null.
CapturePtr current_output_capture();

// The runner's own printing: into the calling thread's capture, else to stdout / stderr.
void print(std::string_view text);
void eprint(std::string_view text);

// While alive, a failure that ends the process first writes the calling thread's captured output
// to standard output.
class TerminateFlushGuard {
  public:
    TerminateFlushGuard();
    ~TerminateFlushGuard();
    TerminateFlushGuard(const TerminateFlushGuard&) = delete;
    TerminateFlushGuard& operator=(const TerminateFlushGuard&) = delete;
};

}  // namespace runner
