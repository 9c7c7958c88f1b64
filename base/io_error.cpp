#include "tarnwick_base/io_error.hpp"

#include <cerrno>
#include <cstring>

#include "tarnwick_base/text.hpp"

namespace tarnwick_base {
namespace {

std::string system_message(int code) {
    char buffer[256];
    // The GNU strerror_r may return a static string instead of filling the buffer.
    return strerror_r(code, buffer, sizeof buffer);
}

}  // namespace

std::string_view io_error_kind_name(IoErrorKind kind) {
    switch (kind) {
#define TARNWICK_IO_ERROR_KIND_NAME(name) \
    case IoErrorKind::name:               \
        return #name;
        TARNWICK_IO_ERROR_KINDS(TARNWICK_IO_ERROR_KIND_NAME)
#undef TARNWICK_IO_ERROR_KIND_NAME
    }
    return "Uncategorized";
}

IoErrorKind io_error_kind_from_errno(int code) {
    using K = IoErrorKind;
    switch (code) {
        case E2BIG:
            return K::ArgumentListTooLong;
        case EADDRINUSE:
            return K::AddrInUse;
        case EADDRNOTAVAIL:
            return K::AddrNotAvailable;
        case EBUSY:
            return K::ResourceBusy;
        case ECONNABORTED:
            return K::ConnectionAborted;
        case ECONNREFUSED:
            return K::ConnectionRefused;
        case ECONNRESET:
            return K::ConnectionReset;
        case EDEADLK:
            return K::Deadlock;
        case EDQUOT:
            return K::QuotaExceeded;
        case EEXIST:
            return K::AlreadyExists;
        case EFBIG:
            return K::FileTooLarge;
        case EHOSTUNREACH:
            return K::HostUnreachable;
        case EINTR:
            return K::Interrupted;
        case EINVAL:
            return K::InvalidInput;
        case EISDIR:
            return K::IsADirectory;
        case ELOOP:
            return K::FilesystemLoop;
        case ENOENT:
            return K::NotFound;
        case ENOMEM:
            return K::OutOfMemory;
        case ENOSPC:
            return K::StorageFull;
        case ENOSYS:
            return K::Unsupported;
        case EMLINK:
            return K::TooManyLinks;
        case ENAMETOOLONG:
            return K::InvalidFilename;
        case ENETDOWN:
            return K::NetworkDown;
        case ENETUNREACH:
            return K::NetworkUnreachable;
        case ENOTCONN:
            return K::NotConnected;
        case ENOTDIR:
            return K::NotADirectory;
        case ENOTEMPTY:
            return K::DirectoryNotEmpty;
        case EPIPE:
            return K::BrokenPipe;
        case EROFS:
            return K::ReadOnlyFilesystem;
        case ESPIPE:
            return K::NotSeekable;
        case ESTALE:
            return K::StaleNetworkFileHandle;
        case ETIMEDOUT:
            return K::TimedOut;
        case ETXTBSY:
            return K::ExecutableFileBusy;
        case EXDEV:
            return K::CrossesDevices;
        case EINPROGRESS:
            return K::InProgress;
        case EACCES:
        case EPERM:
            return K::PermissionDenied;
        case EAGAIN:
            return K::WouldBlock;
        default:
            return K::Uncategorized;
    }
}

IoError IoError::from_last_errno() {
    return from_errno(errno);
}

IoErrorKind IoError::kind() const {
    if (const int* code = std::get_if<int>(&repr_)) {
        return io_error_kind_from_errno(*code);
    }
    return std::get<Fixed>(repr_).kind;
}

std::string IoError::display() const {
    if (const int* code = std::get_if<int>(&repr_)) {
        return system_message(*code) + " (os error " + std::to_string(*code) + ")";
    }
    return std::get<Fixed>(repr_).message;
}

std::string IoError::debug() const {
    if (const int* code = std::get_if<int>(&repr_)) {
        return "Os { code: " + std::to_string(*code) +
               ", kind: " + std::string{io_error_kind_name(kind())} +
               ", message: " + debug_quoted(system_message(*code)) + " }";
    }
    const Fixed& fixed = std::get<Fixed>(repr_);
    return "Error { kind: " + std::string{io_error_kind_name(fixed.kind)} +
           ", message: " + debug_quoted(fixed.message) + " }";
}

}  // namespace tarnwick_base
