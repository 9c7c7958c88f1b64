#pragma once

#include <string>
#include <string_view>
#include <variant>

#include "tarnwick_base/export.hpp"

namespace tarnwick_base {

// The portable classes of a platform I/O failure.
#define TARNWICK_IO_ERROR_KINDS(X) \
    X(NotFound)                    \
    X(PermissionDenied)            \
    X(ConnectionRefused)           \
    X(ConnectionReset)             \
    X(HostUnreachable)             \
    X(NetworkUnreachable)          \
    X(ConnectionAborted)           \
    X(NotConnected)                \
    X(AddrInUse)                   \
    X(AddrNotAvailable)            \
    X(NetworkDown)                 \
    X(BrokenPipe)                  \
    X(AlreadyExists)               \
    X(WouldBlock)                  \
    X(NotADirectory)               \
    X(IsADirectory)                \
    X(DirectoryNotEmpty)           \
    X(ReadOnlyFilesystem)          \
    X(FilesystemLoop)              \
    X(StaleNetworkFileHandle)      \
    X(InvalidInput)                \
    X(InvalidData)                 \
    X(TimedOut)                    \
    X(WriteZero)                   \
    X(StorageFull)                 \
    X(NotSeekable)                 \
    X(QuotaExceeded)               \
    X(FileTooLarge)                \
    X(ResourceBusy)                \
    X(ExecutableFileBusy)          \
    X(Deadlock)                    \
    X(CrossesDevices)              \
    X(TooManyLinks)                \
    X(InvalidFilename)             \
    X(ArgumentListTooLong)         \
    X(Interrupted)                 \
    X(Unsupported)                 \
    X(UnexpectedEof)               \
    X(OutOfMemory)                 \
    X(InProgress)                  \
    X(Other)                       \
    X(Uncategorized)

#define TARNWICK_IO_ERROR_KIND_ENUMERATOR(name) name,
enum class IoErrorKind { TARNWICK_IO_ERROR_KINDS(TARNWICK_IO_ERROR_KIND_ENUMERATOR) };
#undef TARNWICK_IO_ERROR_KIND_ENUMERATOR

// The kind's name as declared ("NotFound").
TARNWICK_DAT_API std::string_view io_error_kind_name(IoErrorKind kind);
TARNWICK_DAT_API IoErrorKind io_error_kind_from_errno(int code);

// A platform I/O failure: either an operating-system error number or a kind with a fixed message.
class TARNWICK_DAT_API IoError {
  public:
    static IoError from_errno(int code) { return IoError{code}; }
    static IoError from_last_errno();
    static IoError with_message(IoErrorKind kind, std::string_view message) {
        return IoError{Fixed{kind, std::string{message}}};
    }
    // The end of data met by a read that had to fill its whole buffer.
    static IoError fill_whole_buffer_eof() {
        return with_message(IoErrorKind::UnexpectedEof, "failed to fill whole buffer");
    }

    IoErrorKind kind() const;

    // "No such file or directory (os error 2)", or the fixed message.
    std::string display() const;
    // Os { code: 2, kind: NotFound, message: "..." } or Error { kind: ..., message: "..." }.
    std::string debug() const;

  private:
    struct Fixed {
        IoErrorKind kind;
        std::string message;
    };
    explicit IoError(int code) : repr_{code} {}
    explicit IoError(Fixed fixed) : repr_{std::move(fixed)} {}

    std::variant<int, Fixed> repr_;
};

}  // namespace tarnwick_base
