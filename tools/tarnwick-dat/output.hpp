#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tarnwick_tool {

// Standard output, written in large pieces straight to the descriptor so that every failure is
// seen: a closed pipe ends the tool as SIGPIPE does (status 141, silently); any other failure,
// such as a full disk, is kept, and later writes are dropped. Large pieces are written without
// a copy, so that `cat` needs no more memory than the file's bytes.
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
    void write_out(std::string_view text);

    std::string buffer_;
    std::optional<int> error_;
};

bool is_terminal(int fd);

// Ends the tool as a closed pipe does: by SIGPIPE, or with status 141 if that signal is blocked.
[[noreturn]] void end_for_closed_output();

}  // namespace tarnwick_tool
