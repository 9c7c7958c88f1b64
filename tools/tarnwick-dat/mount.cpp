// mount: the archive as a read-only folder, through FUSE.

#define FUSE_USE_VERSION 312
#include <dirent.h>
#include <fcntl.h>
#include <fuse.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <string>

#include "mount_cache.hpp"
#include "mount_tree.hpp"
#include "options.hpp"
#include "report.hpp"
#include "subcommand.hpp"

namespace tarnwick_tool {

namespace {

namespace fs = std::filesystem;

struct MountCommand {
    fs::path archive;
    fs::path directory;
    bool foreground = false;
    bool clothing_json = false;  // each clothing table's JSON document beside it
};

// The most bytes of expanded files kept between reads, whatever the readers do.
constexpr std::size_t contents_capacity = 64 << 20;

// Everything the FUSE callbacks share; none of it changes after mounting but the cache, which
// guards itself. The archive is read only through positioned reads, from any thread.
struct MountedArchive {
    std::string archive_name;
    dat::DatDatabase database;
    MountTree tree;
    ContentCache contents{contents_capacity};
    uid_t uid = ::getuid();
    gid_t gid = ::getgid();
};

MountedArchive& mounted() {
    return *static_cast<MountedArchive*>(fuse_get_context()->private_data);
}

// One line on standard error in one write, so that lines from worker threads never mix.
void write_error_line(const std::string& text) {
    const std::string line = std::string{tool_name} + ": " + text + "\n";
    for (std::size_t done = 0; done < line.size();) {
        const ssize_t written = ::write(STDERR_FILENO, line.data() + done, line.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;  // nowhere to report: the read still fails with EIO
        }
        done += static_cast<std::size_t>(written);
    }
}

// libfuse's own complaints (a mount refused, a device missing) in the tool's form.
void log_from_fuse(fuse_log_level, const char* format, va_list arguments) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, arguments);
    std::string line{text};
    while (!line.empty() && line.back() == '\n') {
        line.pop_back();
    }
    write_error_line(line);
}

// The contents of a file, loaded or kept; a failure is reported once here and is EIO.
ContentCache::Contents contents_of(MountedArchive& archive, std::size_t index) {
    const MountNode& node = archive.tree.node(index);
    auto result =
        archive.contents.get(index, [&] { return mount_node_contents(archive.database, node); });
    if (!result) {
        write_error_line(archive.archive_name + ": " + result.error());
        return nullptr;
    }
    return *result;
}

// The callbacks are called from C: nothing may leave them as an exception.
template <typename Callback>
int guarded(Callback&& callback) {
    try {
        return callback();
    } catch (const std::bad_alloc&) {
        return -ENOMEM;
    } catch (...) {
        return -EIO;
    }
}

void* init_mount(fuse_conn_info* connection, fuse_config* config) {
    // Every listing with attributes: a folder of thousands of files is then one request per
    // buffer instead of one per file (the kernel's adaptive choice falls back to plain names
    // after the first buffer).
    connection->want &= ~static_cast<unsigned>(FUSE_CAP_READDIRPLUS_AUTO);
    // Nothing changes under the mount, so the kernel may keep names, attributes and pages.
    config->use_ino = 1;
    config->entry_timeout = 3600;
    config->attr_timeout = 3600;
    config->negative_timeout = 3600;
    config->kernel_cache = 1;
    return fuse_get_context()->private_data;
}

void describe(const MountedArchive& archive, const MountNode& node, struct stat& status) {
    status = {};
    const std::size_t index = archive.tree.index_of(node);
    status.st_ino = index + 1;
    const bool folder = node.kind == MountNode::Kind::Folder;
    status.st_mode = folder ? S_IFDIR | 0555 : S_IFREG | 0444;
    // A folder's links: its name, its ".", and each subfolder's "..".
    status.st_nlink = folder ? 2 + (index == 0 ? node.children.size() : 0) : 1;
    status.st_uid = archive.uid;
    status.st_gid = archive.gid;
    status.st_size = static_cast<off_t>(node.size);
    status.st_blksize = 4096;
    status.st_blocks = static_cast<blkcnt_t>((node.size + 511) / 512);
    status.st_mtim.tv_sec = node.mtime;
    status.st_atim = status.st_mtim;
    status.st_ctim = status.st_mtim;
}

int getattr_node(const char* path, struct stat* status, fuse_file_info*) {
    return guarded([&] {
        const MountedArchive& archive = mounted();
        const MountNode* node = archive.tree.find(path);
        if (node == nullptr) {
            return -ENOENT;
        }
        describe(archive, *node, *status);
        return 0;
    });
}

// Entries are given with the offset of the next one, so that a listing larger than the kernel's
// buffer goes on where it stopped; with the attributes when the kernel takes them, which spares
// it a lookup per file when listing.
int readdir_node(const char* path, void* buffer, fuse_fill_dir_t fill, off_t offset,
                 fuse_file_info*, fuse_readdir_flags flags) {
    return guarded([&] {
        const MountedArchive& archive = mounted();
        const MountNode* node = archive.tree.find(path);
        if (node == nullptr) {
            return -ENOENT;
        }
        if (node->kind != MountNode::Kind::Folder) {
            return -ENOTDIR;
        }
        const bool plus = (flags & FUSE_READDIR_PLUS) != 0;
        struct stat status {};
        // Offsets 0 and 1 are "." and ".."; then the children in order.
        for (auto next = static_cast<std::size_t>(std::max<off_t>(offset, 0));
             next < node->children.size() + 2; ++next) {
            const char* name = next == 0 ? "." : next == 1 ? ".." : nullptr;
            if (name == nullptr) {
                const MountNode& entry = archive.tree.node(node->children[next - 2]);
                name = entry.name.c_str();
                if (plus) {
                    describe(archive, entry, status);
                }
            }
            const bool described = plus && next >= 2;
            if (fill(buffer, name, described ? &status : nullptr, static_cast<off_t>(next + 1),
                     described ? FUSE_FILL_DIR_PLUS : fuse_fill_dir_flags{}) != 0) {
                break;  // the buffer is full: the kernel asks again from here
            }
        }
        return 0;
    });
}

// Opening loads the contents (a compressed file is expanded here), so that a file that cannot
// be read fails at once and its reads share what was loaded.
int open_node(const char* path, fuse_file_info* file) {
    return guarded([&] {
        MountedArchive& archive = mounted();
        const MountNode* node = archive.tree.find(path);
        if (node == nullptr) {
            return -ENOENT;
        }
        if (node->kind == MountNode::Kind::Folder) {
            return -EISDIR;
        }
        if ((file->flags & O_ACCMODE) != O_RDONLY) {
            return -EROFS;
        }
        const std::size_t index = archive.tree.index_of(*node);
        if (contents_of(archive, index) == nullptr) {
            return -EIO;
        }
        file->fh = index;
        file->keep_cache = 1;
        return 0;
    });
}

int read_node(const char*, char* buffer, std::size_t length, off_t offset, fuse_file_info* file) {
    return guarded([&] {
        const ContentCache::Contents contents = contents_of(mounted(), file->fh);
        if (contents == nullptr) {
            return -EIO;
        }
        const auto start = std::min(static_cast<std::size_t>(offset), contents->size());
        const std::size_t count = std::min(length, contents->size() - start);
        std::memcpy(buffer, contents->data() + start, count);
        return static_cast<int>(count);
    });
}

const fuse_operations read_only_operations = [] {
    fuse_operations operations{};
    operations.init = init_mount;
    operations.getattr = getattr_node;
    operations.readdir = readdir_node;
    operations.open = open_node;
    operations.read = read_node;
    return operations;
}();

// Why the mount point cannot take the mount, if it cannot.
std::optional<std::string> mount_point_problem(const fs::path& directory) {
    struct stat status {};
    if (::stat(directory.c_str(), &status) != 0) {
        return shown_path(directory) + ": " + std::strerror(errno) +
               " (the mount point must be an existing, empty folder)";
    }
    if (!S_ISDIR(status.st_mode)) {
        return shown_path(directory) + " is not a folder";
    }
    const std::unique_ptr<DIR, int (*)(DIR*)> folder{::opendir(directory.c_str()), ::closedir};
    if (!folder) {
        return shown_path(directory) + ": " + std::strerror(errno);
    }
    while (const dirent* entry = ::readdir(folder.get())) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            return shown_path(directory) + " is not empty";
        }
    }
    return std::nullopt;
}

std::optional<std::string> fuse_problem() {
    const int device = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (device < 0) {
        return std::string{"FUSE is not available: /dev/fuse: "} + std::strerror(errno);
    }
    ::close(device);
    return std::nullopt;
}

// `-o` values separate options with commas; a path may hold some.
std::string escaped_option_value(const std::string& value) {
    std::string escaped;
    for (const char c : value) {
        if (c == ',' || c == '\\') {
            escaped += '\\';
        }
        escaped += c;
    }
    return escaped;
}

// Leaves the mount to a child of its own session and ends the calling process; standard
// error stays the tool's, where unreadable files are reported.
bool run_in_background() {
    std::fflush(nullptr);  // nothing buffered is written twice
    const pid_t child = ::fork();
    if (child < 0) {
        return false;
    }
    if (child > 0) {
        ::_exit(0);
    }
    ::setsid();
    if (::chdir("/") != 0) {
        return false;
    }
    const int null_device = ::open("/dev/null", O_RDWR);
    if (null_device >= 0) {
        ::dup2(null_device, STDIN_FILENO);
        ::dup2(null_device, STDOUT_FILENO);
        ::close(null_device);
    }
    return true;
}

struct FuseDeleter {
    void operator()(fuse* session) const { fuse_destroy(session); }
};

int run_mount(const MountCommand& command) {
    fuse_set_log_func(log_from_fuse);
    auto database = open_archive(command.archive);
    if (!database) {
        return 1;
    }
    std::error_code error;
    const fs::path directory = fs::absolute(command.directory, error);
    if (auto problem = error ? std::optional{shown_path(command.directory) + ": " + error.message()}
                             : mount_point_problem(directory)) {
        report_error(*problem);
        return 1;
    }
    if (auto problem = fuse_problem()) {
        report_error(*problem);
        return 1;
    }
    auto archive =
        std::make_unique<MountedArchive>(shown_path(command.archive), std::move(*database));
    archive->tree = MountTree::build(archive->database, command.clothing_json);

    const std::string options = "ro,default_permissions,fsname=" +
                                escaped_option_value(fs::absolute(command.archive).string());
    const char* arguments[] = {tool_name.data(), "-o", options.c_str(), nullptr};
    fuse_args args = FUSE_ARGS_INIT(3, const_cast<char**>(arguments));
    // fuse_new copies the arguments it parses into memory of their own, freed only here.
    const std::unique_ptr<fuse_args, decltype(&fuse_opt_free_args)> parsed_arguments{
        &args, &fuse_opt_free_args};
    const std::unique_ptr<fuse, FuseDeleter> session{
        fuse_new(&args, &read_only_operations, sizeof read_only_operations, archive.get())};
    if (!session) {
        report_error("cannot start FUSE");
        return 1;
    }
    if (fuse_mount(session.get(), directory.c_str()) != 0) {
        report_error("cannot mount " + shown_path(command.archive) + " on " +
                     shown_path(directory));
        return 1;
    }
    if (!command.foreground && !run_in_background()) {
        report_error(std::string{"cannot run in the background: "} + std::strerror(errno));
        fuse_unmount(session.get());
        return 1;
    }
    fuse_session* const loop_session = fuse_get_session(session.get());
    fuse_set_signal_handlers(loop_session);
    fuse_loop_config* const config = fuse_loop_cfg_create();
    const int looped = fuse_loop_mt(session.get(), config);
    fuse_loop_cfg_destroy(config);
    fuse_remove_signal_handlers(loop_session);
    fuse_unmount(session.get());
    return looped < 0 ? 1 : 0;
}

void declare_mount(CLI::App& app, MountCommand& command) {
    add_path(app, "DIR", command.directory, "An existing, empty folder");
    app.add_flag("--foreground", command.foreground,
                 "Stay in the foreground until unmounted (Ctrl-C unmounts)");
    app.add_flag("--json", command.clothing_json,
                 "Also each clothing table's clothing --format json document, as "
                 "Clothing/<ID>.json");
}

}  // namespace

Subcommand mount_subcommand() {
    return archive_subcommand<MountCommand>(
        "mount",
        "The archive as a read-only folder in extract's layout (DIR/<TypeName>/<ID>.bin, "
        "expanded), until fusermount3 -u DIR",
        "mount portal.dat mnt --json", declare_mount, run_mount);
}

}  // namespace tarnwick_tool
