#pragma once

// Helpers shared by the runner's unit tests.

#include <regex>
#include <string>
#include <string_view>
#include <utility>

#include "runner/output.hpp"
#include "runner/types.hpp"

namespace runner::testing {

// An output location that keeps what is written, shared with the test after the formatter took
// ownership of the location.
class RecordingOutput : public OutputLocation {
  public:
    explicit RecordingOutput(std::string& sink) : sink_{sink} {}
    IoResult write(std::string_view bytes) override {
        sink_.append(bytes);
        return {};
    }
    IoResult flush() override { return {}; }

  private:
    std::string& sink_;
};

inline TestDescAndFn check(std::string name, DynTestFn body,
                           ShouldPanic should_panic = ShouldPanic::no()) {
    TestDesc desc;
    desc.name = std::move(name);
    desc.should_panic = std::move(should_panic);
    desc.test_kind = TestKind::Integration;
    return {std::move(desc), std::move(body)};
}

inline TestOpts serial_opts() {
    TestOpts opts;
    opts.test_threads = 1;
    return opts;
}

// The report with run times, check times and thread ids replaced by fixed words.
inline std::string mask_variable_parts(const std::string& report) {
    std::string masked =
        std::regex_replace(report, std::regex{R"(finished in \d+\.\d\ds)"}, "finished in <time>s");
    masked = std::regex_replace(masked, std::regex{R"(<\d+\.\d\d\ds>)"}, "<time>");
    return std::regex_replace(masked, std::regex{R"(' \(\d+\) panicked)"}, "' (<id>) panicked");
}

}  // namespace runner::testing
