#include "file_writing.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "archive.hpp"
#include "report.hpp"

namespace tarnwick_tool {

namespace {

// The temporary file being written, for the signal handler: its folder and name. The folder is
// -1 while the name changes, and set only once the name is whole; stores to it are ordered with
// the name's, so the handler never sees half a name, and no signal mask is changed per file.
std::atomic<int> in_flight_folder{-1};
static_assert(std::atomic<int>::is_always_lock_free);
char in_flight_name[256];

extern "C" void remove_in_flight_and_end(int signal_number) {
    const int folder = in_flight_folder.load();
    if (folder >= 0) {
        ::unlinkat(folder, in_flight_name, 0);
    }
    ::signal(signal_number, SIG_DFL);
    ::raise(signal_number);
}

// The process id as temporary names show it, asked once.
std::string process_id_text;

void install_interrupt_cleanup() {
    static const bool installed = [] {
        process_id_text = std::to_string(::getpid());
        struct sigaction action {};
        action.sa_handler = remove_in_flight_and_end;
        sigemptyset(&action.sa_mask);
        for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
            ::sigaction(signal_number, &action, nullptr);
        }
        return true;
    }();
    (void)installed;
}

std::string system_message(int code) {
    return dat::IoError::from_errno(code).display();
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

bool out_of_space(int code) {
    return code == ENOSPC || code == EDQUOT || code == EFBIG;
}

void set_in_flight(int folder, const std::string& name) {
    in_flight_folder.store(-1);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    std::snprintf(in_flight_name, sizeof in_flight_name, "%s", name.c_str());
    std::atomic_signal_fence(std::memory_order_seq_cst);
    in_flight_folder.store(folder);
}

void clear_in_flight() {
    in_flight_folder.store(-1);
}

}  // namespace

std::expected<OutputFolder, std::string> OutputFolder::open(const std::filesystem::path& path) {
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (error) {
        return std::unexpected{"cannot create " + shown_path(path) + ": " +
                               system_message(error.value())};
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return std::unexpected{"cannot open " + shown_path(path) + ": " + system_message(errno)};
    }
    install_interrupt_cleanup();
    return OutputFolder{fd, path};
}

OutputFolder::OutputFolder(OutputFolder&& other) noexcept
    : fd_{std::exchange(other.fd_, -1)}, path_{std::move(other.path_)}, made_{other.made_} {}

OutputFolder& OutputFolder::operator=(OutputFolder&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
        made_ = other.made_;
    }
    return *this;
}

OutputFolder::~OutputFolder() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

std::expected<OutputFolder, std::string> OutputFolder::subfolder(std::string_view name) const {
    const std::string folder{name};
    const std::filesystem::path path = path_ / folder;
    const bool made = ::mkdirat(fd_, folder.c_str(), 0777) == 0;
    if (!made && errno != EEXIST) {
        return std::unexpected{"cannot create " + shown_path(path) + ": " + system_message(errno)};
    }
    const int fd = ::openat(fd_, folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int code = errno;
        if (code == ELOOP || code == ENOTDIR) {
            return std::unexpected{shown_path(path) +
                                   " is not a folder of its own (a link or another file): "
                                   "nothing is written through it"};
        }
        return std::unexpected{"cannot open " + shown_path(path) + ": " + system_message(code)};
    }
    OutputFolder opened{fd, path};
    opened.made_ = made;
    return opened;
}

bool OutputFolder::has(std::string_view name) const {
    struct stat status {};
    return ::fstatat(fd_, std::string{name}.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 ||
           errno != ENOENT;
}

std::expected<bool, WriteFailure> OutputFolder::put(std::string_view name,
                                                    std::span<const std::uint8_t> bytes,
                                                    std::uint32_t modified, bool replace) const {
    const std::string final_name{name};
    // The process id tells runs apart, the counter the attempts of one run.
    static unsigned attempt = 0;
    std::string part;
    int fd = -1;
    for (int tries = 0; fd < 0 && tries < 100; ++tries) {
        part = "." + final_name + "." + process_id_text + "-" + std::to_string(attempt++) + ".part";
        set_in_flight(fd_, part);
        fd =
            ::openat(fd_, part.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            const int code = errno;
            clear_in_flight();
            return std::unexpected{WriteFailure{
                "cannot create " + shown_path(path_ / part) + ": " + system_message(code),
                out_of_space(code)}};
        }
    }
    if (fd < 0) {
        clear_in_flight();
        return std::unexpected{
            WriteFailure{"cannot create a temporary file in " + shown_path(path_), false}};
    }
    int code = write_all(fd, bytes);
    const struct timespec times[2] = {{0, UTIME_NOW}, {static_cast<time_t>(modified), 0}};
    if (code == 0 && ::futimens(fd, times) != 0) {
        code = errno;
    }
    // A full disk may show only when the data reaches it, at the close.
    if (::close(fd) != 0 && code == 0) {
        code = errno;
    }
    const auto discard = [&](std::string doing, int error) {
        ::unlinkat(fd_, part.c_str(), 0);
        clear_in_flight();
        return std::unexpected{
            WriteFailure{doing + ": " + system_message(error), out_of_space(error)}};
    };
    if (code != 0) {
        return discard("cannot write " + shown_path(path_ / part), code);
    }
    const unsigned flags = replace ? 0 : RENAME_NOREPLACE;
    int renamed = ::renameat2(fd_, part.c_str(), fd_, final_name.c_str(), flags);
    if (renamed != 0 && errno == EINVAL && !replace) {
        // A file system without the no-replace rename: a hard link refuses a name taken too.
        renamed = ::linkat(fd_, part.c_str(), fd_, final_name.c_str(), 0);
        if (renamed == 0) {
            ::unlinkat(fd_, part.c_str(), 0);
        }
    }
    if (renamed != 0) {
        code = errno;
        if (code == EEXIST) {
            discard("", code);
            return false;
        }
        return discard("cannot rename to " + shown_path(path_ / final_name), code);
    }
    clear_in_flight();
    return true;
}

}  // namespace tarnwick_tool
