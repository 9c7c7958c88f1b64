#include "runner/terminal/stdout_output.hpp"

#include <cerrno>
#include <cstdio>

namespace runner {

IoResult StdoutOutput::write(std::string_view bytes) {
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size()) {
        return std::unexpected{IoError::from_errno(errno)};
    }
    return {};
}

IoResult StdoutOutput::flush() {
    if (std::fflush(stdout) != 0) {
        return std::unexpected{IoError::from_errno(errno)};
    }
    return {};
}

}  // namespace runner
