#include "runner/execution/capture.hpp"

#include <cstdio>
#include <exception>
#include <iostream>
#include <streambuf>
#include <utility>

namespace runner {
namespace {

thread_local CapturePtr tls_capture;

// Sends what a standard stream receives to the writing thread's capture, or else on to the stream's
// original buffer. Unbuffered, so that every write decides by the thread that makes it.
class SwitchingStreambuf : public std::streambuf {
  public:
    explicit SwitchingStreambuf(std::streambuf* original) : original_{original} {}

  protected:
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        if (tls_capture) {
            tls_capture->append({s, static_cast<std::size_t>(n)});
            return n;
        }
        return original_->sputn(s, n);
    }
    int_type overflow(int_type ch) override {
        if (traits_type::eq_int_type(ch, traits_type::eof())) {
            return traits_type::not_eof(ch);
        }
        const char c = traits_type::to_char_type(ch);
        return xsputn(&c, 1) == 1 ? ch : traits_type::eof();
    }
    int sync() override { return tls_capture ? 0 : original_->pubsync(); }

  private:
    std::streambuf* original_;
};

void route_standard_streams() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Never destroyed: the streams are flushed at exit, after static objects are gone.
        auto* out = new SwitchingStreambuf{std::cout.rdbuf()};
        auto* err = new SwitchingStreambuf{std::cerr.rdbuf()};
        auto* log = new SwitchingStreambuf{std::clog.rdbuf()};
        std::cout.rdbuf(out);
        std::cerr.rdbuf(err);
        std::clog.rdbuf(log);
    });
}

void write_or_capture(std::string_view text, std::FILE* stream) {
    if (tls_capture) {
        tls_capture->append(text);
        return;
    }
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

std::terminate_handler previous_terminate = nullptr;

[[noreturn]] void flush_capture_then_terminate() {
    if (const CapturePtr capture = set_output_capture(nullptr)) {
        const std::string bytes = capture->take();
        std::fwrite(bytes.data(), 1, bytes.size(), stdout);
        std::fflush(stdout);
    }
    if (previous_terminate) {
        previous_terminate();
    }
    std::abort();
}

}  // namespace

void CaptureBuffer::append(std::string_view bytes) {
    const std::lock_guard lock{mutex_};
    bytes_.append(bytes);
}

std::string CaptureBuffer::take() {
    const std::lock_guard lock{mutex_};
    return std::exchange(bytes_, {});
}

CapturePtr set_output_capture(CapturePtr capture) {
    if (capture) {
        route_standard_streams();
    }
    std::swap(tls_capture, capture);
    return capture;
}

CapturePtr current_output_capture() {
    return tls_capture;
}

void print(std::string_view text) {
    write_or_capture(text, stdout);
}
void eprint(std::string_view text) {
    write_or_capture(text, stderr);
}

TerminateFlushGuard::TerminateFlushGuard() {
    previous_terminate = std::set_terminate(flush_capture_then_terminate);
}

TerminateFlushGuard::~TerminateFlushGuard() {
    std::set_terminate(previous_terminate);
}

}  // namespace runner
