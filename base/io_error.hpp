#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace tarnwick_base {

// The portable classes of a platform I/O failure.
enum class IoErrorKind {
    NotFound,
    PermissionDenied,
    ConnectionRefused,
    ConnectionReset,
    HostUnreachable,
    NetworkUnreachable,
    ConnectionAborted,
    NotConnected,
    AddrInUse,
    AddrNotAvailable,
    NetworkDown,
    BrokenPipe,
    AlreadyExists,
    WouldBlock,
    NotADirectory,
    IsADirectory,
    DirectoryNotEmpty,
    ReadOnlyFilesystem,
    FilesystemLoop,
    StaleNetworkFileHandle,
    InvalidInput,
    InvalidData,
    TimedOut,
    WriteZero,
    StorageFull,
    NotSeekable,
    QuotaExceeded,
    FileTooLarge,
    ResourceBusy,
    ExecutableFileBusy,
    Deadlock,
    CrossesDevices,
    TooManyLinks,
    InvalidFilename,
    ArgumentListTooLong,
    Interrupted,
    Unsupported,
    UnexpectedEof,
    OutOfMemory,
    InProgress,
    Other,
    Uncategorized,
};

std::string_view io_error_kind_name(IoErrorKind kind);
IoErrorKind io_error_kind_from_errno(int code);

// A platform I/O failure: either an operating-system error number or a kind with a fixed message.
class IoError {
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
    std::optional<int> raw_os_error() const;

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
