#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tarnwick_tool {

// Standard output, written in large pieces straight to the descriptor so that every failure is
// seen: a closed pipe (SIGPIPE is ignored) or a full disk is kept, and later writes are dropped.
class StandardOutput {
  public:
    StandardOutput() = default;
    StandardOutput(const StandardOutput&) = delete;
    StandardOutput& operator=(const StandardOutput&) = delete;

    void write(std::string_view text);
    void write(std::span<const std::uint8_t> bytes);
    bool failed() const { return error_.has_value(); }

    // Writes what is buffered; then `status`, or 1 after reporting a failed write.
    int finish(int status);

  private:
    void flush();

    std::string buffer_;
    std::optional<int> error_;
};

bool is_terminal(int fd);

}  // namespace tarnwick_tool
