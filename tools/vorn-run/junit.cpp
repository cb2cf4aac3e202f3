#include "junit.hpp"

#include <cstdio>

#include "concat.hpp"
#include "report.hpp"

namespace vorn::run {
namespace {

std::string hexByte(unsigned char byte) {
    char text[8];
    std::snprintf(text, sizeof text, "\\x%02x", byte);
    return text;
}

// Length of the well-formed UTF-8 sequence at the start of `text` that XML allows, or 0.
std::size_t validSequenceLength(std::string_view text) {
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = at(0);
    std::size_t length;
    char32_t code;
    if (lead < 0x80) return 1;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
        code = lead & 0x1f;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        code = lead & 0x0f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        code = lead & 0x07;
    } else {
        return 0;
    }
    if (text.size() < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((at(i) & 0xc0) != 0x80) return 0;
        code = (code << 6) | (at(i) & 0x3f);
    }
    const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    const bool surrogate = code >= 0xd800 && code <= 0xdfff;
    const bool not_a_char = code == 0xfffe || code == 0xffff || code > 0x10ffff;
    return overlong || surrogate || not_a_char ? 0 : length;
}

std::string seconds(std::chrono::nanoseconds duration) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", std::chrono::duration<double>(duration).count());
    return text;
}

std::string elementText(std::string_view content) { return xmlEscape(content, false); }

std::string attribute(std::string_view name, std::string_view value) {
    return concat({" ", name, "=\"", xmlEscape(value), "\""});
}

// The module part of a registered name ("vorn_kernel.test.HomVec4: ..." -> "vorn_kernel").
std::string_view className(std::string_view name, std::string_view fallback) {
    const std::size_t dot = name.find('.');
    return dot == std::string_view::npos || dot == 0 ? fallback : name.substr(0, dot);
}

}  // namespace

std::string xmlEscape(std::string_view text, bool for_attribute) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto byte = static_cast<unsigned char>(text[i]);
        switch (byte) {
            case '&':
                out += "&amp;";
                ++i;
                continue;
            case '<':
                out += "&lt;";
                ++i;
                continue;
            case '>':
                out += "&gt;";
                ++i;
                continue;
            case '"':
                out += "&quot;";
                ++i;
                continue;
            case '\'':
                out += "&apos;";
                ++i;
                continue;
            case '\n':
                out += for_attribute ? "&#10;" : "\n";
                ++i;
                continue;
            case '\r':
                out += "&#13;";
                ++i;
                continue;
            case '\t':
                out += for_attribute ? "&#9;" : "\t";
                ++i;
                continue;
            default:
                break;
        }
        if (byte < 0x20 || byte == 0x7f) {
            out += hexByte(byte);
            ++i;
            continue;
        }
        const std::size_t length = validSequenceLength(text.substr(i));
        if (length == 0) {
            out += hexByte(byte);
            ++i;
        } else {
            out.append(text.substr(i, length));
            i += length;
        }
    }
    return out;
}

void writeJUnit(std::ostream& out, const JUnitSuite& suite) {
    const std::vector<TestRun>& runs = *suite.runs;
    const std::vector<std::string>& names = *suite.names;
    const RunCounts counts = countRuns(runs);
    std::size_t failures = 0;
    for (const TestRun& run : runs) {
        if (run.outcome == Outcome::failed ||
            ((run.leaked || run.log_err_count != 0) && run.outcome != Outcome::timed_out &&
             run.outcome != Outcome::crashed)) {
            ++failures;
        }
    }
    const std::size_t errors = counts.timed_out + counts.crashed;
    const std::string totals =
        attribute("tests", std::to_string(runs.size())) + attribute("failures", std::to_string(failures)) +
        attribute("errors", std::to_string(errors)) + attribute("skipped", std::to_string(counts.skipped)) +
        attribute("time", seconds(suite.duration));

    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out << "<testsuites" << attribute("name", suite.name) << totals << ">\n";
    out << "  <testsuite" << attribute("name", suite.name) << totals << ">\n";
    out << "    <properties>\n";
    out << "      <property" << attribute("name", "server_version")
        << attribute("value", suite.server_version) << "/>\n";
    out << "    </properties>\n";
    for (const TestRun& run : runs) {
        const std::string& name = names[run.index];
        out << "    <testcase" << attribute("name", name)
            << attribute("classname", className(name, suite.name)) << attribute("time", seconds(run.duration))
            << ">\n";
        const std::string detail = verdict(run);
        switch (run.outcome) {
            case Outcome::passed:
            case Outcome::skipped:
                if (run.outcome == Outcome::skipped) out << "      <skipped/>\n";
                if (run.leaked || run.log_err_count != 0) {
                    out << "      <failure" << attribute("message", detail)
                        << attribute("type", "leak or logged error") << ">" << elementText(run.output)
                        << "</failure>\n";
                }
                break;
            case Outcome::failed:
                out << "      <failure" << attribute("message", detail) << attribute("type", "failed") << ">"
                    << elementText(run.output) << "</failure>\n";
                break;
            case Outcome::timed_out:
                out << "      <error" << attribute("message", detail) << attribute("type", "timed out") << ">"
                    << elementText(run.output) << "</error>\n";
                break;
            case Outcome::crashed:
                out << "      <error" << attribute("message", detail) << attribute("type", "crashed") << ">"
                    << elementText(run.output) << "</error>\n";
                break;
        }
        if (!run.output.empty()) out << "      <system-err>" << elementText(run.output) << "</system-err>\n";
        out << "    </testcase>\n";
    }
    out << "  </testsuite>\n";
    out << "</testsuites>\n";
}

}  // namespace vorn::run
