#include "tarnwick_base/io_error.hpp"

#include <gtest/gtest.h>

#include <cerrno>

namespace tarnwick_base {
namespace {

TEST(IoError, OsErrorRendersMessageAndNumber) {
    const IoError error = IoError::from_errno(ENOENT);
    EXPECT_EQ(error.display(), "No such file or directory (os error 2)");
    EXPECT_EQ(error.debug(),
              R"(Os { code: 2, kind: NotFound, message: "No such file or directory" })");
    EXPECT_EQ(error.kind(), IoErrorKind::NotFound);
}

TEST(IoError, FixedMessageRendersAsIs) {
    const IoError error = IoError::fill_whole_buffer_eof();
    EXPECT_EQ(error.display(), "failed to fill whole buffer");
    EXPECT_EQ(error.debug(),
              R"(Error { kind: UnexpectedEof, message: "failed to fill whole buffer" })");
}

TEST(IoError, ErrnoValuesMapToTheirKinds) {
    const std::pair<int, std::string_view> cases[] = {
        {ENOENT, "NotFound"},     {EACCES, "PermissionDenied"}, {EPERM, "PermissionDenied"},
        {EISDIR, "IsADirectory"}, {ENOTDIR, "NotADirectory"},   {EINTR, "Interrupted"},
        {EINVAL, "InvalidInput"}, {EAGAIN, "WouldBlock"},       {ENOSPC, "StorageFull"},
        {EPIPE, "BrokenPipe"},    {ELOOP, "FilesystemLoop"},    {EBADF, "Uncategorized"},
        {EIO, "Uncategorized"},
    };
    for (const auto& [code, name] : cases) {
        EXPECT_EQ(io_error_kind_name(io_error_kind_from_errno(code)), name) << code;
    }
}

}  // namespace
}  // namespace tarnwick_base
