#include "tarnwick_dat/error.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <type_traits>

namespace tarnwick_dat {
namespace {

static_assert(!std::is_copy_constructible_v<DatError>);
static_assert(std::is_nothrow_move_constructible_v<DatError>);

DatError make(DatError::Kind kind) {
    return DatError{std::move(kind)};
}

TEST(DatErrorDisplay, EveryKindInItsWords) {
    struct Case {
        DatError::Kind kind;
        std::string display;
    };
    const Case cases[] = {
        {DatError::NotFound{0x1}, "File ID 00000001 not found in provider"},
        {DatError::NotFound{0x10000001}, "File ID 10000001 not found in provider"},
        {DatError::NotFound{0xFFFFFFFF}, "File ID FFFFFFFF not found in provider"},
        {DatError::NotFound{0xabcdef}, "File ID 00ABCDEF not found in provider"},
        {DatError::DuplicateId{0x2A}, "Duplicate File ID 0000002A detected"},
        {DatError::DuplicateNamespacedId{"x", 0x2A},
         "Duplicate namespaced file x:0000002A detected"},
        {DatError::InvalidMagic{"ZZ"}, "Invalid magic for format: ZZ"},
        {DatError::UnsupportedVersion{7}, "Unsupported version: 7"},
        {DatError::UnsupportedVersion{4294967295}, "Unsupported version: 4294967295"},
        {DatError::InvalidNamespace{"cell"}, "Invalid namespace: cell"},
        {DatError::Corruption{"loop at 0x400"}, "Corruption detected: loop at 0x400"},
        {DatError::DecompressionFailed{0x0600127D}, "Failed to recover compressed file 0600127D"},
        {DatError::Other{"odd"}, "Other error: odd"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(make(c.kind).display(), c.display);
    }
}

// A path error names the path (invalid bytes as the replacement character) and the system's
// message.
TEST(DatErrorDisplay, IoBinReadAndPathErrorsWrapTheirPayloadText) {
    EXPECT_EQ(DatError{IoError::fill_whole_buffer_eof()}.display(),
              "IO error: failed to fill whole buffer");
    EXPECT_EQ(DatError{IoError::from_errno(EACCES)}.display(),
              "IO error: Permission denied (os error 13)");
    EXPECT_EQ(DatError{ReadError::io(IoError::fill_whole_buffer_eof())}.display(),
              "Binary read error: failed to fill whole buffer");
    EXPECT_EQ(
        make(DatError::PathError{"dats/\xFF.dat", IoError::from_errno(ENOENT)}).display(),
        "Failed to open file at dats/\xEF\xBF\xBD.dat: No such file or directory (os error 2)");
}

TEST(DatErrorDebug, StructuredRenderingOfEachForm) {
    EXPECT_EQ(make(DatError::NotFound{0x10000001}).debug(), "NotFound(268435457)");
    EXPECT_EQ(make(DatError::UnsupportedVersion{7}).debug(), "UnsupportedVersion(7)");
    EXPECT_EQ(make(DatError::Corruption{"say \"x\"\n"}).debug(), R"(Corruption("say \"x\"\n"))");
    EXPECT_EQ(make(DatError::DuplicateNamespacedId{"x", 42}).debug(),
              R"(DuplicateNamespacedId { namespace: "x", file_id: 42 })");
    EXPECT_EQ(DatError{IoError::fill_whole_buffer_eof()}.debug(),
              R"(Io(Error { kind: UnexpectedEof, message: "failed to fill whole buffer" }))");
    EXPECT_EQ(make(DatError::PathError{"dats/portal.dat", IoError::from_errno(ENOENT)}).debug(),
              R"(PathError { path: "dats/portal.dat", source: Os { code: 2, kind: NotFound, )"
              R"(message: "No such file or directory" } })");
    EXPECT_EQ(make(DatError::PathError{"a\\b\xFF", IoError::from_errno(EISDIR)}).debug(),
              R"(PathError { path: "a\\b\xFF", source: Os { code: 21, kind: IsADirectory, )"
              R"(message: "Is a directory" } })");
    // A binary read error shows its display text.
    EXPECT_EQ(DatError{ReadError::io(IoError::fill_whole_buffer_eof())}.debug(),
              "BinRead(failed to fill whole buffer)");
}

// One plain line whatever the kind: ids with "0x", no escape sequence, no line break, the
// innermost frame only.
TEST(DatErrorMessage, OnePlainLinePerKind) {
    ReadError framed{read_cause::VariantErrors{0x10, {{"A", "short"}, {"B", "bad"}}}};
    framed.push_frame({"While parsing field 'ranges' in CloSubPalette", SourceSite{"x.hpp", 3}});
    framed.push_frame({"While parsing field 'clo_sub_palettes' in CloSubPalEffect", {}});
    struct Case {
        DatError error;
        std::string message;
    };
    Case cases[] = {
        {make(DatError::NotFound{0x99999999}), "no file 0x99999999"},
        {make(DatError::DuplicateId{0x2A}), "duplicate file id 0x0000002A"},
        {make(DatError::DecompressionFailed{0xabc}), "cannot expand compressed file 0x00000ABC"},
        {make(DatError::Corruption{"loop\x1b[1m\nat 0x400"}), "loop\\x1B[1m\\x0Aat 0x400"},
        {make(DatError::PathError{"a\xFF\x07.dat", IoError::from_errno(ENOENT)}),
         "cannot open a\xEF\xBF\xBD\\x07.dat: No such file or directory (os error 2)"},
        {DatError{IoError::fill_whole_buffer_eof()}, "failed to fill whole buffer"},
        {DatError{std::move(framed)},
         "no variants matched at 0x10:; A: short; B: bad (while parsing field 'ranges' in "
         "CloSubPalette)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.error.message(), c.message) << c.error.display();
    }
}

TEST(DatErrorConversion, EndOfDataInARecordStaysBinRead) {
    const DatError error = ReadError::io(IoError::fill_whole_buffer_eof());
    EXPECT_TRUE(error.is<DatError::BinRead>());
    EXPECT_FALSE(error.is<DatError::Io>());
    const DatError io = IoError::fill_whole_buffer_eof();
    EXPECT_TRUE(io.is<DatError::Io>());
}

}  // namespace
}  // namespace tarnwick_dat
