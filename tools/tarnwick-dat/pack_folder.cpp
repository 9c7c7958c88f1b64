#include "pack_folder.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>
#include <system_error>

#include "archive.hpp"
#include "file_paths.hpp"
#include "ids.hpp"

namespace tarnwick_tool {

namespace {

namespace fs = std::filesystem;

std::string os_error(const fs::path& path, int code) {
    return path.string() + ": " + dat::IoError::from_errno(code).display();
}

// The folder's entries, or why it cannot be listed.
std::expected<std::vector<fs::directory_entry>, std::string> entries_of(const fs::path& folder) {
    std::error_code error;
    std::vector<fs::directory_entry> entries;
    for (fs::directory_iterator it{folder, error}, end; !error && it != end; it.increment(error)) {
        entries.push_back(*it);
    }
    if (error) {
        return std::unexpected{os_error(folder, error.value())};
    }
    return entries;
}

fs::file_type type_of(const fs::directory_entry& entry) {
    std::error_code error;
    return entry.symlink_status(error).type();
}

}  // namespace

std::expected<PackFolder, std::vector<std::string>> list_pack_folder(const fs::path& directory) {
    std::vector<std::string> refused;
    PackFolder files;
    auto folders = entries_of(directory);
    if (!folders) {
        return std::unexpected{std::vector{folders.error()}};
    }
    for (const fs::directory_entry& folder : *folders) {
        if (type_of(folder) != fs::file_type::directory) {
            refused.push_back(folder.path().string() + ": not a folder of <ID>.bin files");
            continue;
        }
        auto inside = entries_of(folder.path());
        if (!inside) {
            refused.push_back(inside.error());
            continue;
        }
        for (const fs::directory_entry& file : *inside) {
            const auto id = id_of_file_name(file.path().filename().string());
            if (!id || type_of(file) != fs::file_type::regular) {
                refused.push_back(file.path().string() + ": not a regular file named <ID>.bin");
            } else if (const auto [at, added] = files.emplace(*id, file.path()); !added) {
                refused.push_back(file.path().string() + ": " + format_id(*id) +
                                  " is also given as " + at->second.string());
            }
        }
    }
    if (!refused.empty()) {
        return std::unexpected{std::move(refused)};
    }
    return files;
}

std::expected<FolderFile, std::string> read_folder_file(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return std::unexpected{os_error(path, errno)};
    }
    struct stat status {};
    FolderFile file;
    std::string problem;
    if (::fstat(fd, &status) != 0) {
        problem = os_error(path, errno);
    } else if (!S_ISREG(status.st_mode)) {
        problem = path.string() + ": not a regular file";
    } else if (status.st_size >= std::numeric_limits<std::uint32_t>::max()) {
        problem = path.string() + ": too long for an archive";
    } else if (status.st_mtim.tv_sec < 0 ||
               status.st_mtim.tv_sec > std::numeric_limits<std::uint32_t>::max()) {
        problem = path.string() + ": modification time out of an archive's range (1970 to 2106)";
    } else {
        file.modified = static_cast<std::uint32_t>(status.st_mtim.tv_sec);
        file.bytes.resize(static_cast<std::size_t>(status.st_size));
        std::size_t done = 0;
        while (done < file.bytes.size()) {
            const ssize_t got = ::read(fd, file.bytes.data() + done, file.bytes.size() - done);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                problem = got < 0 ? os_error(path, errno) : path.string() + ": shorter than it was";
                break;
            }
            done += static_cast<std::size_t>(got);
        }
    }
    ::close(fd);
    if (!problem.empty()) {
        return std::unexpected{std::move(problem)};
    }
    return file;
}

}  // namespace tarnwick_tool
