#include "tarnwick_dat/record_reader.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "tarnwick_dat/test_support/source_line.hpp"

namespace tarnwick_dat {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Two small records, one nested in the other's list, to exercise frames and rewinding.
struct Pair {
    TARNWICK_RECORD(Pair);
    TARNWICK_FIELD(std::uint32_t, first);
    TARNWICK_FIELD(std::uint32_t, second);

    static std::expected<Pair, ReadError> read(Reader& reader) {
        RecordReader record{reader};
        Pair pair;
        record.u32(pair.first, first_site);
        record.u32(pair.second, second_site);
        return record.finish(std::move(pair));
    }
};

struct Holder {
    TARNWICK_RECORD(Holder);
    TARNWICK_FIELD(std::uint32_t, tag);
    TARNWICK_FIELD_SITE(num_pairs);
    TARNWICK_FIELD(std::vector<Pair>, pairs);
    TARNWICK_FIELD(std::uint32_t, trailer);

    static std::expected<Holder, ReadError> read(Reader& reader) {
        RecordReader record{reader};
        Holder holder;
        std::uint32_t num_pairs = 0;
        record.u32(holder.tag, tag_site);
        record.u32(num_pairs, num_pairs_site);
        record.records(holder.pairs, num_pairs, pairs_site);
        record.u32(holder.trailer, trailer_site);
        return record.finish(std::move(holder));
    }
};

Bytes le32(const std::vector<std::uint32_t>& values) {
    Bytes bytes;
    for (std::uint32_t v : values) {
        for (int i = 0; i < 4; ++i) {
            bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        }
    }
    return bytes;
}

std::uint64_t position(Reader& reader) {
    return reader.position().value();
}

// Serves bytes but refuses every seek, to provoke the rewind failure.
class UnseekableReader final : public Reader {
  public:
    explicit UnseekableReader(const Bytes& bytes) : inner_{bytes} {}
    std::expected<std::size_t, IoError> read_some(std::span<std::uint8_t> out) override {
        return inner_.read_some(out);
    }
    std::expected<std::uint64_t, IoError> position() override { return inner_.position(); }
    std::expected<void, IoError> seek(std::uint64_t) override {
        return std::unexpected{IoError::from_errno(ESPIPE)};
    }

  private:
    ByteReader inner_;
};

TEST(Numbers, AreLittleEndianAndAdvanceTheReader) {
    const Bytes bytes{0x42, 0x54, 0x00, 0x00, 0x34, 0x12};
    ByteReader reader{bytes};
    EXPECT_EQ(read_u32(reader).value(), 0x5442u);
    EXPECT_EQ(read_u16(reader).value(), 0x1234u);
    EXPECT_EQ(position(reader), 6u);
}

TEST(Numbers, ShortNumberFailsWithoutFramesAndRewindsToItsFirstByte) {
    const Bytes bytes{1, 2, 3, 4, 5, 6, 7};
    ByteReader reader{bytes};
    ASSERT_TRUE(read_u32(reader));
    auto failed = read_u32(reader);
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error().display(), "failed to fill whole buffer");
    EXPECT_TRUE(failed.error().frames().empty());
    EXPECT_EQ(position(reader), 4u);
}

TEST(ByteList, TakesExactlyTheCountOrReportsTooFewBytes) {
    const Bytes bytes{'a', 'b', 'c'};
    ByteReader whole{bytes};
    EXPECT_EQ(read_byte_list(whole, 3).value(), bytes);

    ByteReader short_reader{bytes};
    auto failed = read_byte_list(short_reader, 16);
    ASSERT_FALSE(failed);
    const auto& cause = std::get<read_cause::Io>(failed.error().cause());
    EXPECT_EQ(cause.error.kind(), IoErrorKind::UnexpectedEof);
    EXPECT_EQ(failed.error().display(), "not enough bytes in reader");
}

TEST(NumberList, ReadsAllValuesInOrder) {
    const Bytes bytes = le32({1, 0xDEADBEEF, 3, 4, 5, 6, 7, 8, 9, 10, 11});
    ByteReader reader{bytes};
    const auto values = read_u32_list(reader, 11).value();
    EXPECT_EQ(values, (std::vector<std::uint32_t>{1, 0xDEADBEEF, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
}

TEST(NumberList, HugeCorruptCountFailsAtTheEndOfDataWithoutReservingIt) {
    const Bytes bytes(20, 0xAB);
    ByteReader reader{bytes};
    auto failed = read_u32_list(reader, 0xFFFFFFFF);
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error().display(), "failed to fill whole buffer");
}

TEST(Records, SuccessfulReadStandsOnTheNextByte) {
    const Bytes bytes = le32({7, 2, 10, 11, 20, 21, 99, 0xFF});
    ByteReader reader{bytes};
    const Holder holder = Holder::read(reader).value();
    EXPECT_EQ(holder.tag, 7u);
    ASSERT_EQ(holder.pairs.size(), 2u);
    EXPECT_EQ(holder.pairs[1].second, 21u);
    EXPECT_EQ(holder.trailer, 99u);
    EXPECT_EQ(position(reader), 28u);
}

// After a leading word, a Holder that ends after its tag (the count field has a frame of its
// own), or after two fields.
TEST(Records, FailureInALaterFieldRewindsToTheRecordStart) {
    for (const auto& [words, field] :
         {std::pair{std::vector<std::uint32_t>{0xAAAA, 7}, "num_pairs"},
          {{0xAAAA, 7, 0}, "trailer"}}) {
        const Bytes bytes = le32(words);
        ByteReader reader{bytes};
        ASSERT_TRUE(read_u32(reader));
        auto failed = Holder::read(reader);
        ASSERT_FALSE(failed);
        EXPECT_EQ(position(reader), 4u) << field;
        ASSERT_EQ(failed.error().frames().size(), 1u) << field;
        EXPECT_EQ(failed.error().frames()[0].message,
                  std::string{"While parsing field '"} + field + "' in Holder");
    }
}

TEST(Records, FramesNameTheRealDeclaration) {
    EXPECT_EQ(Pair::second_site.file, "crates/tarnwick-dat/src/record_reader_test.cpp");
    for (const FieldSite& site :
         {Pair::first_site, Pair::second_site, Holder::num_pairs_site, Holder::pairs_site}) {
        const std::string line = test_support::source_line(site.file, site.line).value_or("");
        EXPECT_NE(line.find(std::string{site.field}), std::string::npos) << line;
    }
}

TEST(Records, FailedRewindWrapsTheFirstFailure) {
    const Bytes bytes = le32({7, 1, 10});
    UnseekableReader reader{bytes};
    auto failed = Holder::read(reader);
    ASSERT_FALSE(failed);
    const ReadError& error = failed.error();
    EXPECT_EQ(error.cause_text(), "Illegal seek (os error 29)");
    // The element's own rewind fails first; the list field then wraps that failure again.
    const auto& frames = error.frames();
    ASSERT_GE(frames.size(), 3u);
    EXPECT_EQ(frames[0].message, "rewinding after a failure");
    EXPECT_FALSE(frames[0].location);
    EXPECT_EQ(frames[1].message, "Illegal seek (os error 29)");
    EXPECT_EQ(frames.back().message, "While parsing field 'pairs' in Holder");
}

TEST(Records, LoneRewindFailureKeepsTheFirstCauseText) {
    const Bytes bytes = le32({7, 1, 10});
    UnseekableReader reader{bytes};
    auto failed = Pair::read(reader);  // reads 7 and 1 fine
    ASSERT_TRUE(failed);
    auto second = Pair::read(reader);  // 10, then end of data
    ASSERT_FALSE(second);
    const auto& frames = second.error().frames();
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0].message, "rewinding after a failure");
    EXPECT_EQ(frames[1].message, "failed to fill whole buffer");
    EXPECT_EQ(frames[2].message, "While parsing field 'second' in Pair");
}

// A nested failure: the inner field first, each at its line, and the reader back at the outer
// record's start.
TEST(ReadErrorDisplay, BacktraceBlockByteForByte) {
    const Bytes bytes = le32({7, 2, 10, 11, 20});  // the second pair lacks its `second`
    ByteReader reader{bytes};
    const ReadError error = Holder::read(reader).error();
    EXPECT_EQ(position(reader), 0u);
    const std::string file = "crates/tarnwick-dat/src/record_reader_test.cpp";
    const std::string expected =
        "\n \u257a\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501"
        "\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2505 Backtrace \u2505\u2501\u2501\u2501\u2501"
        "\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501"
        "\u2501\u2578\n\n"
        " 0: \x1b[1m\x1b[1mError: failed to fill whole buffer\x1b[22m\n"
        "           \x1b[1mWhile parsing field 'second' in Pair\x1b[22m\x1b[22m\n"
        "     at " +
        file + ":" + std::to_string(Pair::second_site.line) +
        "\n"
        " 1: \x1b[1mWhile parsing field 'pairs' in Holder\x1b[22m\n"
        "     at " +
        file + ":" + std::to_string(Holder::pairs_site.line) +
        "\n"
        "\n \u257a" +
        [] {
            std::string rule;
            for (int i = 0; i < 53; ++i)
                rule += "\u2501";
            return rule;
        }() +
        "\u2578\n\n";
    EXPECT_EQ(error.display(), expected);
}

TEST(ReadErrorDisplay, CausesWithPositionsUseLowerCaseHex) {
    EXPECT_EQ(ReadError::assertion("ClothingTable is little-endian only", 0).display(),
              "ClothingTable is little-endian only at 0x0");
    EXPECT_EQ((ReadError{read_cause::BadMagic{0x1f, "[66, 84]"}}.display()),
              "bad magic at 0x1f: [66, 84]");
    EXPECT_EQ((ReadError{read_cause::NoVariantMatch{0xab}}.display()),
              "no variants matched at 0xab");
    EXPECT_EQ(
        (ReadError{read_cause::VariantErrors{16, {{"A", "x at 0x10"}, {"B", "y"}}}}.display()),
        "no variants matched at 0x10:\n  A: x at 0x10\n  B: y");
}

}  // namespace
}  // namespace tarnwick_dat
