// vorn-run's parts in-process: command line, frame reassembly and decoding, test selection,
// the closing line and exit status, XML escaping.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string_view>

#include "errors.hpp"
#include "frame_reader.hpp"
#include "junit.hpp"
#include "options.hpp"
#include "output_capture.hpp"
#include "protocol.hpp"
#include "report.hpp"
#include "selection.hpp"

namespace {

using namespace vorn::run;

Options parse(std::initializer_list<std::string_view> args) {
    const std::vector<std::string_view> list(args);
    return parseOptions(list);
}

std::vector<std::byte> frame(std::uint32_t tag, std::vector<std::byte> body) {
    const auto header = vorn::protocol::encodeHeader({tag, static_cast<std::uint32_t>(body.size())});
    std::vector<std::byte> out(header.size() + body.size());
    std::copy(header.begin(), header.end(), out.begin());
    std::copy(body.begin(), body.end(), out.begin() + static_cast<std::ptrdiff_t>(header.size()));
    return out;
}

std::vector<std::byte> u32s(std::initializer_list<std::uint32_t> values) {
    std::vector<std::byte> out(4 * values.size());
    std::size_t at = 0;
    for (std::uint32_t v : values) {
        vorn::protocol::writeU32(std::span<std::byte, 4>(out.data() + at, 4), v);
        at += 4;
    }
    return out;
}

void append(std::vector<std::byte>& out, const std::vector<std::byte>& more) {
    const std::size_t at = out.size();
    out.resize(at + more.size());
    std::copy(more.begin(), more.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
}

// A test_metadata body with the given name offsets, zero panic-message entries and strings.
std::vector<std::byte> metadata(const std::vector<std::uint32_t>& offsets, std::string_view strings) {
    std::vector<std::byte> body =
        u32s({static_cast<std::uint32_t>(strings.size()), static_cast<std::uint32_t>(offsets.size())});
    for (std::uint32_t offset : offsets) append(body, u32s({offset}));
    for (std::size_t i = 0; i < offsets.size(); ++i) append(body, u32s({0}));
    for (char c : strings) body.push_back(static_cast<std::byte>(c));
    return body;
}

TEST(Options, AcceptsEveryOptionSpelling) {
    const Options o = parse({"-j3", "--filter", "a b", "--filter=c", "--exact", "x y", "--index=4",
                             "--timeout", "0.25", "--junit=out.xml", "./exe"});
    EXPECT_EQ(o.jobs, 3u);
    EXPECT_EQ(o.filters, (std::vector<std::string>{"a b", "c"}));
    EXPECT_EQ(o.exact_names, (std::vector<std::string>{"x y"}));
    EXPECT_EQ(o.indices, (std::vector<std::uint32_t>{4}));
    EXPECT_EQ(o.timeout, std::chrono::milliseconds(250));
    EXPECT_EQ(o.junit_path, "out.xml");
    EXPECT_EQ(o.executable, "./exe");
    EXPECT_EQ(parse({"-j", "2", "exe"}).jobs, 2u);
    EXPECT_EQ(parse({"--jobs=5", "exe"}).jobs, 5u);
    EXPECT_EQ(parse({"--", "-looks-like-an-option"}).executable, "-looks-like-an-option");
    EXPECT_TRUE(parse({"--help"}).help);
}

TEST(Options, TimeoutsAreEchoedAsWritten) {
    EXPECT_EQ(describeTimeout(parse({"--timeout", "0.0001", "exe"}).timeout), "0.0001 s");
    EXPECT_EQ(describeTimeout(parse({"--timeout", "2.5e-7", "exe"}).timeout), "0.00000025 s");
    EXPECT_EQ(describeTimeout(parse({"--timeout", "0.3", "exe"}).timeout), "0.300 s");
    EXPECT_EQ(describeTimeout(parse({"exe"}).timeout), "60 s");
}

TEST(Options, RejectsBadUsageWithAReason) {
    for (auto args : std::vector<std::vector<std::string_view>>{
             {},                           // no executable
             {"a", "b"},                   // two executables
             {"--bogus", "exe"},           // unknown option
             {"exe", "--filter"},          // missing value
             {"-j0", "exe"},               // no servers
             {"-jx", "exe"},               // not a number
             {"--timeout", "0", "exe"},    // no time at all
             {"--timeout", "nan", "exe"},  // not a duration
             {"--timeout=1e9", "exe"},     // absurd
             {"--index", "-1", "exe"},     // negative position
             {"--list=yes", "exe"},        // flag with a value
         }) {
        EXPECT_THROW(parseOptions(args), UsageError) << (args.empty() ? "" : args[0]);
    }
}

TEST(FrameReader, ReassemblesMessagesSplitAnywhere) {
    auto bytes = frame(0, {std::byte{'v'}, std::byte{'1'}});
    const auto second = frame(0, {});
    bytes.insert(bytes.end(), second.begin(), second.end());
    FrameReader reader;
    std::vector<Frame> frames;
    for (std::byte b : bytes) {
        reader.append(std::span(&b, 1));
        while (auto f = reader.next(expectVersion())) frames.push_back(*f);
    }
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].body.size(), 2u);
    EXPECT_EQ(frames[1].body.size(), 0u);
    EXPECT_TRUE(reader.empty());
}

TEST(FrameReader, RejectsAWrongTagOrLengthFromTheHeaderAlone) {
    // Only the header has arrived: the verdict must not wait for a body that may never come.
    const auto huge = vorn::protocol::encodeHeader({3, 0xffffffffu});
    FrameReader reader;
    reader.append(huge);
    EXPECT_THROW(reader.next(expectMetadata()), ProtocolError);

    FrameReader wrong_tag;
    wrong_tag.append(vorn::protocol::encodeHeader({7, 8}));
    EXPECT_THROW(wrong_tag.next(expectResults()), ProtocolError);

    FrameReader short_results;
    short_results.append(frame(4, u32s({1})));
    EXPECT_THROW(short_results.next(expectResults()), ProtocolError);
}

TEST(Metadata, DecodesNamesInTableOrder) {
    const std::string strings("\0first\0second test \xce\xb3\0", 22);
    const auto names = decodeTestMetadata(metadata({1, 7}, strings));
    EXPECT_EQ(names, (std::vector<std::string>{"first", "second test \xce\xb3"}));
    EXPECT_TRUE(decodeTestMetadata(metadata({}, std::string_view("\0", 1))).empty());
}

TEST(Metadata, RejectsInconsistentBodies) {
    const std::string strings("\0ab\0", 4);
    auto bad_len = metadata({1}, strings);
    bad_len.push_back(std::byte{0});
    EXPECT_THROW(decodeTestMetadata(bad_len), ProtocolError);
    EXPECT_THROW(decodeTestMetadata(metadata({4}, strings)), ProtocolError);  // past the end
    EXPECT_THROW(decodeTestMetadata(metadata({1}, std::string_view("\0ab", 3))),
                 ProtocolError);                                 // no terminator
    EXPECT_THROW(decodeTestMetadata(u32s({0})), ProtocolError);  // too short
    // A count whose offsets would lie far beyond the body.
    EXPECT_THROW(decodeTestMetadata(u32s({0, 0x40000000})), ProtocolError);
}

TEST(Selection, ChoosesTheUnionInTableOrder) {
    const std::vector<std::string> names{"m.test.alpha", "m.test.beta", "m.test.gamma", "m.test.alphabet"};
    Options o;
    EXPECT_EQ(selectTests(names, o).size(), 4u);
    o.filters = {"alpha"};
    o.indices = {2};
    o.exact_names = {"m.test.beta"};
    EXPECT_EQ(selectTests(names, o), (std::vector<std::size_t>{0, 1, 2, 3}));
    Options none;
    none.filters = {"zeta"};
    EXPECT_TRUE(selectTests(names, none).empty());
}

TEST(Selection, AStaleExactNameOrIndexIsAnError) {
    const std::vector<std::string> names{"m.test.alpha"};
    Options exact;
    exact.exact_names = {"m.test.alph"};
    EXPECT_THROW(selectTests(names, exact), UsageError);
    Options index;
    index.indices = {1};
    EXPECT_THROW(selectTests(names, index), UsageError);
}

TestRun runWith(Outcome outcome, bool leaked = false, std::uint32_t logged = 0) {
    TestRun run;
    run.outcome = outcome;
    run.leaked = leaked;
    run.log_err_count = logged;
    run.crash_reason = "SIGSEGV";
    return run;
}

TEST(Report, ClosingLineNamesOnlyWhatHappened) {
    EXPECT_EQ(closingLine(countRuns({runWith(Outcome::passed)})), "1 passed, 0 failed");
    EXPECT_EQ(closingLine(countRuns({runWith(Outcome::passed), runWith(Outcome::failed, true),
                                     runWith(Outcome::skipped), runWith(Outcome::timed_out),
                                     runWith(Outcome::crashed), runWith(Outcome::crashed)})),
              "1 passed, 1 failed, 1 skipped, 1 leaked, 1 timed out, 2 crashed");
    EXPECT_EQ(verdict(runWith(Outcome::crashed)), "CRASH (SIGSEGV)");
    EXPECT_EQ(verdict(runWith(Outcome::passed, true, 2)), "OK [leaked memory] [2 errors logged]");
}

TEST(Report, OnlyCleanRunsExitWithZero) {
    EXPECT_EQ(exitStatus(countRuns({runWith(Outcome::passed), runWith(Outcome::skipped)})), 0);
    EXPECT_EQ(exitStatus(countRuns({})), 0);
    EXPECT_EQ(exitStatus(countRuns({runWith(Outcome::passed, true)})), 1);
    EXPECT_EQ(exitStatus(countRuns({runWith(Outcome::passed, false, 1)})), 1);
    EXPECT_EQ(exitStatus(countRuns({runWith(Outcome::timed_out)})), 1);
    EXPECT_EQ(exitStatus(countRuns({runWith(Outcome::crashed)})), 1);
}

TEST(OutputCapture, KeepsBeginningAndEndOfALongOutput) {
    OutputCapture capture(8);
    capture.append("abc");
    EXPECT_EQ(capture.take(), "abc");
    EXPECT_TRUE(capture.empty());
    for (char c = 'a'; c <= 'z'; ++c) capture.append(std::string_view(&c, 1));
    EXPECT_EQ(capture.take(), "abcd\n[vorn-run: 18 bytes of output dropped here]\nwxyz");
    capture.append("0123456789");
    EXPECT_EQ(capture.take(), "0123\n[vorn-run: 2 bytes of output dropped here]\n6789");
}

TEST(Junit, EscapesMarkupAndBytesXmlCannotCarry) {
    EXPECT_EQ(xmlEscape("a<b>&\"c'"), "a&lt;b&gt;&amp;&quot;c&apos;");
    EXPECT_EQ(xmlEscape("γ(π) → ⟂"), "γ(π) → ⟂");
    EXPECT_EQ(xmlEscape("\x1b[31mred\x1b[0m"), "\\x1b[31mred\\x1b[0m");
    EXPECT_EQ(xmlEscape("line\nnext\ttab"), "line&#10;next&#9;tab");
    EXPECT_EQ(xmlEscape("line\nnext\ttab\r", false), "line\nnext\ttab&#13;");
    EXPECT_EQ(xmlEscape(std::string_view("nul\0", 4)), "nul\\x00");
    EXPECT_EQ(xmlEscape("\xff\xce"), "\\xff\\xce");           // invalid and truncated UTF-8
    EXPECT_EQ(xmlEscape("\xed\xa0\x80"), "\\xed\\xa0\\x80");  // an encoded surrogate
}

}  // namespace
