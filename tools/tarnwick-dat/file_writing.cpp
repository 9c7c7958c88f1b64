#include "file_writing.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "archive.hpp"

namespace tarnwick_tool {

namespace {

std::string failure(std::string_view doing, const std::filesystem::path& path, int code) {
    return std::string{doing} + " " + path.string() + ": " +
           dat::IoError::from_errno(code).display();
}

// The error number of the first failing write, or 0.
int write_all(int fd, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno != EINTR) {
            return errno;
        }
        if (written > 0) {
            bytes = bytes.subspan(static_cast<std::size_t>(written));
        }
    }
    return 0;
}

}  // namespace

std::expected<void, std::string> write_file_whole(const std::filesystem::path& path,
                                                  std::span<const std::uint8_t> bytes,
                                                  std::uint32_t modified) {
    // Appended, where g++ 12 warns falsely about an overlapping copy in "." + name.
    std::string part_name = ".";
    part_name += path.filename().string();
    part_name += ".part";
    const std::filesystem::path part = path.parent_path() / part_name;
    const int fd =
        ::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) {
        return std::unexpected{failure("cannot create", part, errno)};
    }
    int code = write_all(fd, bytes);
    const timespec times[2] = {{.tv_sec = modified, .tv_nsec = 0},
                               {.tv_sec = modified, .tv_nsec = 0}};
    if (code == 0 && ::futimens(fd, times) != 0) {
        code = errno;
    }
    // A full disk may show only when the data reaches it, at the close.
    if (::close(fd) != 0 && code == 0) {
        code = errno;
    }
    if (code != 0) {
        ::unlink(part.c_str());
        return std::unexpected{failure("cannot write", part, code)};
    }
    if (::rename(part.c_str(), path.c_str()) != 0) {
        code = errno;
        ::unlink(part.c_str());
        return std::unexpected{failure("cannot rename to", path, code)};
    }
    return {};
}

}  // namespace tarnwick_tool
