#include "runner/report/junit_formatter.hpp"

#include "runner/report/plain_seconds.hpp"
#include "tarnwick_base/expected.hpp"
#include "tarnwick_base/text.hpp"

namespace runner {
namespace {

void replace_all(std::string& text, std::string_view from, std::string_view to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

std::string_view trim_blanks(std::string_view text) {
    std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// Attribute values are escaped so that names and messages holding quotes, ampersands or angle
// brackets keep the document well-formed; line breaks stay line breaks instead of blanks.
// Characters XML cannot carry at all (the escape sequences of a backtrace) become U+FFFD.
std::string xml_attribute(std::string_view text) {
    std::string out;
    for (char c : tarnwick_base::xml_chars(text)) {
        switch (c) {
            case '&':
                out.append("&amp;");
                break;
            case '<':
                out.append("&lt;");
                break;
            case '>':
                out.append("&gt;");
                break;
            case '"':
                out.append("&quot;");
                break;
            case '\n':
                out.append("&#xA;");
                break;
            case '\r':
                out.append("&#xD;");
                break;
            case '\t':
                out.append("&#x9;");
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

std::string testcase_open(std::string_view class_name, std::string_view case_name,
                          std::string_view time) {
    std::string tag = "<testcase classname=\"";
    tag.append(xml_attribute(class_name)).append("\" name=\"").append(xml_attribute(case_name));
    tag.append("\" time=\"").append(time).append("\"");
    return tag;
}

std::string system_out(std::string_view output) {
    std::string element = "<system-out>";
    return element.append(str_to_cdata(tarnwick_base::xml_chars(output))).append("</system-out>");
}

}  // namespace

JunitClassName parse_class_name(const TestDesc& desc) {
    switch (desc.test_kind) {
        case TestKind::Unit: {
            std::size_t last = desc.name.rfind("::");
            if (last == std::string::npos) {
                return {"crate", desc.name};
            }
            return {desc.name.substr(0, last), desc.name.substr(last + 2)};
        }
        case TestKind::DocTest: {
            // Split at the first separator; a name without one is all class.
            std::string_view name = desc.name;
            std::size_t dash = name.find(" - ");
            std::string_view case_part =
                dash == std::string_view::npos ? std::string_view{} : name.substr(dash + 3);
            return {std::string{trim_blanks(name.substr(0, dash))},
                    std::string{trim_blanks(case_part)}};
        }
        case TestKind::Integration:
            return {"integration", desc.name};
        case TestKind::Unknown:
            break;
    }
    return {"unknown", desc.name};
}

std::string str_to_cdata(std::string_view text) {
    std::string body{text};
    replace_all(body, "]]>", "]]]]><![CDATA[>");
    replace_all(body, "<?", "<]]><![CDATA[?");
    replace_all(body, "\n", "]]>&#xA;<![CDATA[");
    replace_all(body, "<![CDATA[]]>", "");
    std::string cdata = "<![CDATA[";
    return cdata.append(body).append("]]>");
}

JunitFormatter::JunitFormatter(std::unique_ptr<OutputLocation> out) : out_{std::move(out)} {}

IoResult JunitFormatter::write(std::string_view text) {
    TARNWICK_TRY(out_->write(text));
    return out_->flush();
}

IoResult JunitFormatter::write_discovery_start() {
    return {};
}

IoResult JunitFormatter::write_test_discovered(const TestDesc&, std::string_view) {
    return {};
}

IoResult JunitFormatter::write_discovery_finish(const ConsoleTestDiscoveryState&) {
    return {};
}

IoResult JunitFormatter::write_run_start(std::size_t, std::optional<std::uint64_t>) {
    return write(R"(<?xml version="1.0" encoding="UTF-8"?>)");
}

IoResult JunitFormatter::write_test_start(const TestDesc&) {
    return {};
}

IoResult JunitFormatter::write_timeout(const TestDesc&) {
    return {};
}

IoResult JunitFormatter::write_result(const TestDesc& desc, const TestResult& result,
                                      const std::optional<TestExecTime>& exec_time,
                                      std::string_view stdout_bytes, const ConsoleTestState&) {
    results_.push_back(KeptResult{desc, result,
                                  exec_time ? exec_time->duration : std::chrono::nanoseconds{0},
                                  std::string{stdout_bytes}});
    return {};
}

std::expected<bool, IoError> JunitFormatter::write_run_finish(const ConsoleTestState& state) {
    std::string doc = "<testsuites>";
    doc.append(R"(<testsuite name="test" package="test" id="0" errors="0" failures=")");
    doc.append(std::to_string(state.failed)).append("\" tests=\"");
    doc.append(std::to_string(state.total)).append("\" skipped=\"");
    doc.append(std::to_string(state.ignored)).append("\" >");
    for (const KeptResult& kept : results_) {
        if (std::holds_alternative<result::Ignored>(kept.result)) {
            continue;
        }
        auto [class_name, case_name] = parse_class_name(kept.desc);
        if (const auto* measured = std::get_if<result::Measured>(&kept.result)) {
            doc.append(testcase_open(std::string{"benchmark::"}.append(class_name), case_name,
                                     plain_decimal(measured->samples.sum_ns)));
            doc.append(" />");
            continue;
        }
        doc.append(testcase_open(class_name, case_name, plain_seconds(kept.duration)));
        const bool has_output = !kept.stdout_bytes.empty();
        if (std::holds_alternative<result::Passed>(kept.result)) {
            if (has_output && state.show_output) {
                doc.append(">").append(system_out(kept.stdout_bytes)).append("</testcase>");
            } else {
                doc.append("/>");
            }
            continue;
        }
        doc.push_back('>');
        if (const auto* failed = std::get_if<result::FailedWithMessage>(&kept.result)) {
            doc.append("<failure message=\"").append(xml_attribute(failed->message));
            doc.append("\" type=\"assert\"/>");
        } else if (std::holds_alternative<result::FailedTimeLimit>(kept.result)) {
            doc.append(R"(<failure type="timeout"/>)");
        } else {
            doc.append(R"(<failure type="assert"/>)");
        }
        if (has_output && !std::holds_alternative<result::FailedTimeLimit>(kept.result)) {
            doc.append(system_out(kept.stdout_bytes));
        }
        doc.append("</testcase>");
    }
    doc.append("<system-out/><system-err/></testsuite></testsuites>\n");
    TARNWICK_TRY(write(doc));
    return state.failed == 0;
}

}  // namespace runner
