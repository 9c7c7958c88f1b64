#include "runner/report/junit_formatter.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include <unistd.h>

#include "runner/test_support/recording_output.hpp"

namespace runner {
namespace {

using std::chrono::nanoseconds;

TestDesc desc_of(std::string name, TestKind kind = TestKind::Integration) {
    TestDesc desc;
    desc.name = std::move(name);
    desc.test_kind = kind;
    return desc;
}

TEST(JunitNames, ClassAndCaseByKind) {
    struct Case {
        std::string name;
        TestKind kind;
        std::string class_name;
        std::string case_name;
    };
    const Case cases[] = {
        {"common::motion::tests::lookup", TestKind::Unit, "common::motion::tests", "lookup"},
        {"solo", TestKind::Unit, "crate", "solo"},
        {"src/lib.rs - DatDatabase::new (line 12)", TestKind::DocTest, "src/lib.rs",
         "DatDatabase::new (line 12)"},
        {"  a  -  b - c ", TestKind::DocTest, "a", "b - c"},
        {"no separator", TestKind::DocTest, "no separator", ""},
        {"all_retail_clothing_tables_parse", TestKind::Integration, "integration",
         "all_retail_clothing_tables_parse"},
        {"x::y", TestKind::Unknown, "unknown", "x::y"},
    };
    for (const Case& c : cases) {
        auto [class_name, case_name] = parse_class_name(desc_of(c.name, c.kind));
        EXPECT_EQ(class_name, c.class_name) << c.name;
        EXPECT_EQ(case_name, c.case_name) << c.name;
    }
}

TEST(JunitCdata, SplitsWhatCdataCannotHold) {
    struct Case {
        std::string_view text;
        std::string_view cdata;
    };
    const Case cases[] = {
        {"plain", "<![CDATA[plain]]>"},
        {"", "<![CDATA[]]>"},
        {"a]]>b", "<![CDATA[a]]]]><![CDATA[>b]]>"},
        // Empty sections are removed only inside the text, so the wrapping may leave one.
        {"one\ntwo\n", "<![CDATA[one]]>&#xA;<![CDATA[two]]>&#xA;<![CDATA[]]>"},
        {"\n", "<![CDATA[]]>&#xA;<![CDATA[]]>"},
        {"\n\nx", "<![CDATA[]]>&#xA;&#xA;<![CDATA[x]]>"},
        {"<?xml?>", "<![CDATA[<]]><![CDATA[?xml?>]]>"},
        {"x]]>\n", "<![CDATA[x]]]]><![CDATA[>]]>&#xA;<![CDATA[]]>"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(str_to_cdata(c.text), c.cdata) << c.text;
    }
}

class JunitFormatterTest : public ::testing::Test {
  protected:
    JunitFormatterTest() {
        auto recording = std::make_unique<RecordingOutput>(true);
        out_ = recording.get();
        formatter_ = std::make_unique<JunitFormatter>(std::move(recording));
    }

    void result(const TestDesc& desc, TestResult result, std::optional<TestExecTime> time,
                std::string_view output) {
        ASSERT_TRUE(formatter_->write_result(desc, result, time, output, state_));
        ASSERT_EQ(out_->text, R"(<?xml version="1.0" encoding="UTF-8"?>)");
    }

    RecordingOutput* out_;
    std::unique_ptr<JunitFormatter> formatter_;
    ConsoleTestState state_;
};

// True when xmllint accepts the document.
bool well_formed(const std::string& document) {
    std::string path = ::testing::TempDir() + "junit_" + std::to_string(::getpid()) + ".xml";
    std::ofstream(path, std::ios::binary) << document;
    int status = std::system(("xmllint --noout " + path + " 2>/dev/null").c_str());
    std::remove(path.c_str());
    return status == 0;
}

TEST_F(JunitFormatterTest, WholeDocument) {
    ASSERT_TRUE(formatter_->write_run_start(7, std::nullopt));
    const TestExecTime time{nanoseconds{1'500'000'000}};
    result(desc_of("pass_quiet"), result::Passed{}, time, "");
    result(desc_of("pass_loud"), result::Passed{}, std::nullopt, "hi\n");
    result(desc_of("skipped"), result::Ignored{}, std::nullopt, "");
    result(desc_of("fails"), result::Failed{}, time, "a]]>b\n");
    result(desc_of("fails_quiet"), result::Failed{}, std::nullopt, "");
    result(desc_of("msg"), result::FailedWithMessage{"test did not panic as expected"},
           std::nullopt, "out");
    result(desc_of("slow"), result::FailedTimeLimit{}, time, "ignored output");
    result(desc_of("m::b", TestKind::Unit), result::Measured{BenchSamples{12345, 1, 0, 0}},
           std::nullopt, "");
    state_.total = 8;
    state_.failed = 4;
    state_.ignored = 1;
    auto verdict = formatter_->write_run_finish(state_);
    ASSERT_TRUE(verdict.has_value());
    EXPECT_FALSE(*verdict);
    const std::string expected =
        R"(<?xml version="1.0" encoding="UTF-8"?><testsuites>)"
        R"(<testsuite name="test" package="test" id="0" errors="0" failures="4" tests="8" skipped="1" >)"
        R"(<testcase classname="integration" name="pass_quiet" time="1.5"/>)"
        R"(<testcase classname="integration" name="pass_loud" time="0"/>)"
        R"(<testcase classname="integration" name="fails" time="1.5"><failure type="assert"/>)"
        R"(<system-out><![CDATA[a]]]]><![CDATA[>b]]>&#xA;<![CDATA[]]></system-out></testcase>)"
        R"(<testcase classname="integration" name="fails_quiet" time="0"><failure type="assert"/></testcase>)"
        R"(<testcase classname="integration" name="msg" time="0">)"
        R"(<failure message="test did not panic as expected" type="assert"/>)"
        R"(<system-out><![CDATA[out]]></system-out></testcase>)"
        R"(<testcase classname="integration" name="slow" time="1.5"><failure type="timeout"/></testcase>)"
        R"(<testcase classname="benchmark::m" name="b" time="12345" />)"
        R"(<system-out/><system-err/></testsuite></testsuites>)"
        "\n";
    EXPECT_EQ(out_->text, expected);
    if (std::system("xmllint --version >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "xmllint is not installed";
    }
    EXPECT_TRUE(well_formed(out_->text));
    EXPECT_FALSE(well_formed(R"(<a name="x"y"/>)")) << "the parser must see a broken document";
}

TEST_F(JunitFormatterTest, ShownOutputOfPassedChecksAndUnsafeTexts) {
    ASSERT_TRUE(formatter_->write_run_start(2, std::nullopt));
    state_.show_output = true;
    result(desc_of("a<\"&\">"), result::Passed{}, std::nullopt, "\x1b[1mline <?one\n]]>");
    result(desc_of("m"), result::FailedWithMessage{"panic did not contain \"x\"\n  & <y>\x01"},
           std::nullopt, "");
    state_.total = 2;
    state_.failed = 1;
    ASSERT_TRUE(formatter_->write_run_finish(state_).has_value());
    const std::string expected =
        R"(<?xml version="1.0" encoding="UTF-8"?><testsuites>)"
        R"(<testsuite name="test" package="test" id="0" errors="0" failures="1" tests="2" skipped="0" >)"
        R"(<testcase classname="integration" name="a&lt;&quot;&amp;&quot;&gt;" time="0">)"
        "<system-out><![CDATA[\xEF\xBF\xBD"
        R"([1mline <]]><![CDATA[?one]]>&#xA;<![CDATA[]]]]><![CDATA[>]]>)"
        R"(</system-out></testcase>)"
        R"(<testcase classname="integration" name="m" time="0">)"
        R"(<failure message="panic did not contain &quot;x&quot;&#xA;  &amp; &lt;y&gt;)"
        "\xEF\xBF\xBD"
        R"(" type="assert"/>)"
        R"(</testcase>)"
        R"(<system-out/><system-err/></testsuite></testsuites>)"
        "\n";
    EXPECT_EQ(out_->text, expected);
    if (std::system("xmllint --version >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "xmllint is not installed";
    }
    EXPECT_TRUE(well_formed(out_->text));
}

}  // namespace
}  // namespace runner
