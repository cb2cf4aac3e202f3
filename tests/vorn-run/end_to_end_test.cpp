// vorn-run as a program: against the real self-checking executable, against runners over
// synthetic tables (failing, crashing, hanging, leaking, error-logging tests), and against a
// fake server that breaks the protocol.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "run_capture.hpp"

namespace {

using vorn::run_tests::Captured;
using vorn::run_tests::runCaptured;
using vorn::run_tests::splitLines;
using namespace std::chrono_literals;

const std::string vorn_run = VORN_RUN_EXE;
const std::string selftest = VORN_SELFTEST_EXE;
const std::string synthetic = SYNTHETIC_EXE;
const std::string fake_server = FAKE_SERVER_EXE;
const std::string xmllint = XMLLINT_EXE;

Captured vornRun(std::vector<std::string> args, const std::vector<std::string>& env = {}) {
    args.insert(args.begin(), vorn_run);
    return runCaptured(args, env);
}

// "i/n name...VERDICT" lines, keyed by position, as both terminal mode and vorn-run write them.
// Terminal mode leaves a line open while its test runs, so a check message can come between
// the dots and the verdict, which then starts the next line.
std::map<int, std::pair<std::string, std::string>> resultLines(const std::string& text) {
    auto digitsEnd = [](const std::string& l, std::size_t from) {
        while (from < l.size() && l[from] >= '0' && l[from] <= '9') ++from;
        return from;
    };
    auto isVerdict = [](const std::string& l, std::size_t at) {
        return l.compare(at, 2, "OK") == 0 || l.compare(at, 4, "SKIP") == 0 ||
               l.compare(at, 4, "FAIL") == 0 || l.compare(at, 5, "CRASH") == 0 ||
               l.compare(at, 7, "TIMEOUT") == 0;
    };
    std::map<int, std::pair<std::string, std::string>> results;
    int open_position = 0;
    for (const std::string& l : splitLines(text)) {
        if (open_position != 0 && isVerdict(l, 0)) {
            results[open_position].second = l;
            open_position = 0;
            continue;
        }
        const std::size_t slash = digitsEnd(l, 0);
        if (slash == 0 || slash >= l.size() || l[slash] != '/') continue;
        const std::size_t blank = digitsEnd(l, slash + 1);
        if (blank == slash + 1 || blank >= l.size() || l[blank] != ' ') continue;
        const int position = std::stoi(l.substr(0, slash));
        std::size_t dots = l.rfind("...");
        while (dots != std::string::npos && dots > blank && !isVerdict(l, dots + 3)) {
            dots = dots == 0 ? std::string::npos : l.rfind("...", dots - 1);
        }
        if (dots != std::string::npos && dots > blank) {
            results[position] = {l.substr(blank + 1, dots - blank - 1), l.substr(dots + 3)};
        } else if (const std::size_t first = l.find("...", blank); first != std::string::npos) {
            results[position] = {l.substr(blank + 1, first - blank - 1), ""};
            open_position = position;
        }
    }
    return results;
}

std::string lastLine(const std::string& text) {
    const auto lines = splitLines(text);
    return lines.empty() ? "" : lines.back();
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

void expectWellFormedXml(const std::string& path) {
    if (xmllint.empty()) GTEST_SKIP() << "xmllint not found";
    const Captured lint = runCaptured({xmllint, "--noout", path});
    EXPECT_EQ(lint.exit_code, 0) << lint.err;
}

// ---- the real self-checking executable ----

TEST(Selftest, ListsTheTableInTerminalModesOrder) {
    const Captured terminal = runCaptured({selftest});
    const Captured list = vornRun({"--list", selftest});
    ASSERT_EQ(list.exit_code, 0) << list.err;
    const auto names = splitLines(list.out);
    const auto results = resultLines(terminal.err);
    ASSERT_EQ(names.size(), results.size());
    for (const auto& [position, result] : results) EXPECT_EQ(names.at(position - 1), result.first);
}

TEST(Selftest, ParallelRunAgreesWithTerminalMode) {
    const Captured terminal = runCaptured({selftest});
    const Captured run = vornRun({"-j2", selftest});
    const auto expected = resultLines(terminal.err);
    const auto actual = resultLines(run.err);
    ASSERT_FALSE(expected.empty());
    ASSERT_EQ(actual.size(), expected.size()) << run.err;
    std::size_t passed = 0, failed = 0;
    for (const auto& [position, result] : expected) {
        const std::string word = result.second.substr(0, result.second.find(' '));
        EXPECT_EQ(actual.at(position).first, result.first);
        EXPECT_EQ(actual.at(position).second.substr(0, word.size()), word) << result.first;
        passed += word == "OK";
        failed += word == "FAIL";
    }
    EXPECT_EQ(lastLine(run.err), std::to_string(passed) + " passed, " + std::to_string(failed) + " failed");
    EXPECT_EQ(run.exit_code, terminal.exit_code);
}

TEST(Selftest, FilterExactAndIndexSelectTests) {
    const Captured filtered = vornRun({"--filter", "HomVec4:", "--filter", "RK4", selftest});
    const auto results = resultLines(filtered.err);
    ASSERT_FALSE(results.empty());
    for (const auto& [position, result] : results) {
        EXPECT_TRUE(result.first.find("HomVec4:") != std::string::npos ||
                    result.first.find("RK4") != std::string::npos);
    }
    const std::string name = "vorn_geodesic.test.Geodesic: γ(π) = −p (antipodal point)";
    const Captured exact = vornRun({"--exact", name, selftest});
    EXPECT_EQ(resultLines(exact.err).at(1).first, name);
    EXPECT_EQ(resultLines(exact.err).size(), 1u);
    const Captured index = vornRun({"--index", "13", selftest});
    EXPECT_EQ(resultLines(index.err).at(1).first, "vorn_kernel.test.HomVec4: normalization on S³");

    EXPECT_EQ(vornRun({"--exact", "vorn_kernel.test.no such test", selftest}).exit_code, 2);
    EXPECT_EQ(vornRun({"--index", "4000", selftest}).exit_code, 2);
}

TEST(Selftest, WritesWellFormedJUnit) {
    const std::string path = vorn::run_tests::temporaryPath("selftest.xml");
    const Captured run = vornRun({"-j2", "--junit", path, selftest});
    const std::string xml = slurp(path);
    EXPECT_EQ(count(xml, "<testcase "), resultLines(run.err).size());
    EXPECT_NE(xml.find("name=\"vorn_kernel.test.PGL4: normalizeDet → det ≈ 1\""), std::string::npos);
    expectWellFormedXml(path);
    std::remove(path.c_str());
}

// ---- synthetic tables over the real runner ----

// Long enough that no test but the one that never returns meets it, however loaded the machine.
constexpr const char* test_timeout = "10";
constexpr std::chrono::seconds test_timeout_s{10};

TEST(Synthetic, EveryWayATestEndsIsReportedWhileTheRestRuns) {
    const Captured run = vornRun({"-j2", "--timeout", test_timeout, synthetic});
    ASSERT_FALSE(run.killed_at_limit);
    EXPECT_EQ(run.exit_code, 1);
    const auto r = resultLines(run.err);
    ASSERT_EQ(r.size(), 11u) << run.err;
    EXPECT_EQ(r.at(1).second, "OK");
    EXPECT_EQ(r.at(2).second, "FAIL");
    // SIGSEGV normally; a sanitizer build stops the bad store itself and exits.
    EXPECT_EQ(r.at(3).second.rfind("CRASH (", 0), 0u) << r.at(3).second;
    EXPECT_EQ(r.at(4).second, "CRASH (SIGABRT)");
    EXPECT_EQ(r.at(5).second, "TIMEOUT (after " + std::string(test_timeout) + " s)");
    EXPECT_EQ(r.at(6).second.rfind("OK [leaked memory]", 0), 0u);
    EXPECT_EQ(r.at(7).second, "OK [1 error logged]");
    EXPECT_EQ(r.at(8).second, "SKIP");
    EXPECT_EQ(r.at(9).second, "CRASH (exit status 3)");
    EXPECT_EQ(r.at(10).second, "FAIL");
    EXPECT_EQ(r.at(11).second, "OK");
    EXPECT_EQ(lastLine(run.err), "4 passed, 2 failed, 1 skipped, 1 leaked, 1 timed out, 3 crashed");

    // Each test's own standard error is shown with it.
    for (const char* text : {"not within absolute tolerance", "about to abort", "going to sleep", "leaked",
                             "something went wrong", "bytes of output dropped here"}) {
        EXPECT_NE(run.err.find(text), std::string::npos) << text;
    }
    // The hanging test is waited out once, while the others run: never twice.
    EXPECT_LT(run.elapsed, 2 * test_timeout_s);
}

TEST(Synthetic, ResultsComeInTableOrderWhateverTheParallelism) {
    auto verdicts = [](const Captured& c) {
        std::vector<std::string> v;
        for (const auto& [position, result] : resultLines(c.err))
            v.push_back(result.first + " " + result.second);
        return v;
    };
    const auto serial = verdicts(vornRun({"-j1", "--timeout", test_timeout, synthetic}));
    EXPECT_EQ(serial.size(), 11u);
    EXPECT_EQ(verdicts(vornRun({"-j4", "--timeout", test_timeout, synthetic})), serial);
}

TEST(Synthetic, JUnitMarksFailuresErrorsAndSkips) {
    const std::string path = vorn::run_tests::temporaryPath("synthetic.xml");
    vornRun({"-j2", "--timeout", test_timeout, "--junit", path, synthetic});
    const std::string xml = slurp(path);
    EXPECT_EQ(count(xml, "<testcase "), 11u);
    EXPECT_EQ(count(xml, "<skipped/>"), 1u);
    EXPECT_EQ(count(xml, "<error "), 4u);    // three crashes, one timeout
    EXPECT_EQ(count(xml, "<failure "), 4u);  // two failed checks, a leak, a logged error
    expectWellFormedXml(path);
    std::remove(path.c_str());
}

TEST(Synthetic, NamesThatAreHardToQuoteSurviveListAndJUnit) {
    const std::vector<std::string> env{"VORN_SYNTHETIC_TABLE=names"};
    const Captured list = vornRun({"--list", synthetic}, env);
    const auto names = splitLines(list.out);
    ASSERT_EQ(names.size(), 7u);
    EXPECT_EQ(names[3], "synthetic.test.\"quotes\" 'single' \\back\\slash");
    const std::string path = vorn::run_tests::temporaryPath("names.xml");
    const Captured run = vornRun({"--junit", path, "--exact", names[4], "--exact", names[5], synthetic}, env);
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(lastLine(run.err), "2 passed, 0 failed");
    expectWellFormedXml(path);
    std::remove(path.c_str());
}

TEST(Synthetic, OnATerminalABarShowsProgressAndOnlyTestsNeedingAttentionGetLines) {
    const Captured run =
        vorn::run_tests::runOnTerminal({vorn_run, "-j2", "--timeout", test_timeout, synthetic});
    ASSERT_FALSE(run.killed_at_limit);
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find("\r\x1b[K["), std::string::npos);
    EXPECT_NE(run.err.find("/11 (1 not ok) synthetic.test."), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("...OK\r\n"), std::string::npos);  // passing tests get no line
    EXPECT_NE(run.err.find("2/11 synthetic.test.fails a check...FAIL\r\n"), std::string::npos);
    EXPECT_NE(run.err.find("8/11 synthetic.test.skips...SKIP\r\n"), std::string::npos);
    EXPECT_NE(run.err.find("\r\n4 passed, 2 failed, 1 skipped, 1 leaked, 1 timed out, 3 crashed\r\n"),
              std::string::npos);
}

// ---- bad usage and servers that break the protocol: one line, status 2, no hang ----

void expectUsageError(const Captured& run, const std::string& mentions) {
    SCOPED_TRACE(mentions);
    ASSERT_FALSE(run.killed_at_limit);
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_EQ(splitLines(run.err).size(), 1u) << run.err;
    EXPECT_NE(run.err.find(mentions), std::string::npos) << run.err;
    EXPECT_LT(run.elapsed, 30s);  // answered, not waited out (the default timeout is 60 s)
}

TEST(BadUsage, OneLineAndStatusTwo) {
    expectUsageError(vornRun({}), "missing the executable");
    expectUsageError(vornRun({"--frobnicate", selftest}), "unknown option '--frobnicate'");
    expectUsageError(vornRun({"./no/such/executable"}), "cannot run ./no/such/executable");
    expectUsageError(vornRun({"/bin/true"}), "before sending its version string");
    expectUsageError(vornRun({"--junit", "/no/such/dir/report.xml", selftest}),
                     "cannot write /no/such/dir/report.xml: No such file or directory");
    expectUsageError(
        runCaptured({"/bin/sh", "-c", "exec \"$0\" --list \"$1\" >/dev/full", vorn_run, fake_server}),
        "cannot write the test names to standard output: No space left on device");
    const Captured help = vornRun({"--help"});
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_NE(help.out.find("usage: vorn-run"), std::string::npos);
}

TEST(BrokenServer, MalformedFramesEndTheRunAtOnce) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"garbage", "does not speak the server protocol"},
        {"huge_metadata", "4294967295"},
        {"bad_offsets", "outside its"},
        {"unsolicited", fake_server},
        {"wrong_index", "with the results of test"},
    };
    for (const auto& [mode, mentions] : cases) {
        SCOPED_TRACE(mode);
        expectUsageError(vornRun({"-j1", fake_server}, {"VORN_FAKE_SERVER=" + mode}), mentions);
    }
}

TEST(BrokenServer, AServerThatEndsRightAfterItsVersionStringEndsTheRun) {
    // Its version string and its end often reach vorn-run together; either order must end the run.
    for (int attempt = 0; attempt < 10; ++attempt) {
        SCOPED_TRACE(attempt);
        const Captured run = runCaptured({vorn_run, fake_server}, {"VORN_FAKE_SERVER=exits_after_version"},
                                         std::chrono::seconds(10));
        expectUsageError(run, "ended (exit status 0) before answering query_test_metadata");
    }
}

TEST(BrokenServer, AServerThatStopsAnsweringEndsTheRunWithinTheTimeout) {
    for (const std::string mode : {"silent", "stall_metadata"}) {
        SCOPED_TRACE(mode);
        const Captured run = vornRun({"--timeout", "2", fake_server}, {"VORN_FAKE_SERVER=" + mode});
        expectUsageError(run, mode == "silent" ? "sent no version string within 2 s"
                                               : "did not answer query_test_metadata within 2 s");
    }
    // Stalling inside tests is the tests' problem: each times out, the run completes.
    const Captured tests = vornRun({"-j3", "--timeout", "2", fake_server}, {"VORN_FAKE_SERVER=stall_tests"});
    EXPECT_EQ(tests.exit_code, 1);
    EXPECT_EQ(lastLine(tests.err), "0 passed, 0 failed, 3 timed out");
    EXPECT_LT(tests.elapsed, 6s);  // the three stalls are waited out side by side, not one after another
}

// Whether process `pid` has ended (gone, or a zombie nobody has reaped yet).
bool processEnded(const std::string& pid) {
    std::ifstream stat("/proc/" + pid + "/stat");
    std::string text;
    if (!std::getline(stat, text)) return true;
    const std::size_t paren = text.rfind(')');
    return paren != std::string::npos && paren + 2 < text.size() &&
           (text[paren + 2] == 'Z' || text[paren + 2] == 'X');
}

TEST(BrokenServer, EndingAServerEndsEverythingItStarted) {
    // A "server" that starts a helper and hangs before saying anything.
    const std::string script = vorn::run_tests::temporaryPath("sleeper.sh");
    const std::string pid_file = vorn::run_tests::temporaryPath("helper.pid");
    std::ofstream(script) << "#!/bin/sh\nsleep 777 &\necho $! > \"$HELPER_PID_FILE\"\nwait\n";
    ASSERT_EQ(::chmod(script.c_str(), 0755), 0);
    const Captured run = vornRun({"--timeout", "0.5", script}, {"HELPER_PID_FILE=" + pid_file});
    expectUsageError(run, "sent no version string within 0.500 s");
    const std::string helper = slurp(pid_file).substr(0, slurp(pid_file).find('\n'));
    ASSERT_FALSE(helper.empty());
    const auto give_up = std::chrono::steady_clock::now() + 60s;  // only a helper left behind waits this long
    while (!processEnded(helper) && std::chrono::steady_clock::now() < give_up)
        std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(processEnded(helper)) << "the server's helper " << helper << " is still running";
    if (!processEnded(helper)) ::kill(std::stoi(helper), SIGKILL);
    std::remove(script.c_str());
    std::remove(pid_file.c_str());
}

TEST(FakeServer, AServerThatExitsIsACrashEvenWhenAHelperThatLeftItsGroupHoldsItsPipes) {
    // The server starts a helper in a session of its own, which keeps the server's standard
    // output and error open, then exits with status 3 in the middle of the first test.
    const std::string pid_file = vorn::run_tests::temporaryPath("escaped.pid");
    const Captured run = vornRun({"-j1", "--index", "0", "--timeout", "30", fake_server},
                                 {"VORN_FAKE_SERVER=escapes", "ESCAPED_PID_FILE=" + pid_file});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find("1/1 fake.test.one...CRASH (exit status 3)\n"), std::string::npos) << run.err;
    EXPECT_LT(run.elapsed, 15s);  // reported when the server ended, not when the test timed out
    const std::string helper = slurp(pid_file).substr(0, slurp(pid_file).find('\n'));
    ASSERT_FALSE(helper.empty());
    EXPECT_TRUE(processEnded(helper)) << "the escaped helper " << helper << " outlived vorn-run";
    if (!processEnded(helper)) ::kill(std::stoi(helper), SIGKILL);
    std::remove(pid_file.c_str());
}

TEST(FakeServer, AServerThatClosesItsOutputIsReportedAsStoppedNotAsCrashedByASignal) {
    const Captured run = vornRun({"-j1", "--index", "0", fake_server}, {"VORN_FAKE_SERVER=closes_output"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find("1/1 fake.test.one...CRASH (closed its output and was stopped by vorn-run)\n"),
              std::string::npos)
        << run.err;
}

TEST(FakeServer, ControlCharactersInNamesReachNeitherTheTerminalNorTheXmlRaw) {
    const std::string path = vorn::run_tests::temporaryPath("control.xml");
    const Captured run = vornRun({"-j1", "--junit", path, fake_server}, {"VORN_FAKE_SERVER=control_names"});
    EXPECT_NE(run.err.find("2/3 fake.test.\\x1b]0;title\\x07two\\x1b[2J...FAIL\n"), std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find('\x1b'), std::string::npos);
    expectWellFormedXml(path);
    std::remove(path.c_str());
}

// The report replaces a regular file only when it is complete, follows links and writes
// through devices.
TEST(JUnitFile, APreviousReportSurvivesAFailedRunAndLinksStayLinks) {
    const std::string dir = vorn::run_tests::temporaryPath("junit-dir");
    ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
    const std::string report = dir + "/report.xml";
    const std::string link = dir + "/link.xml";
    std::ofstream(report) << "previous";
    ASSERT_EQ(::symlink("report.xml", link.c_str()), 0);

    expectUsageError(vornRun({"--junit", link, "/bin/true"}), "before sending its version string");
    EXPECT_EQ(slurp(report), "previous");

    EXPECT_EQ(vornRun({"--junit", link, fake_server}).exit_code, 1);
    struct stat info {};
    ASSERT_EQ(::lstat(link.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(slurp(report).rfind("<?xml", 0), 0u);
    expectWellFormedXml(report);

    const Captured full = vornRun({"--junit", "/dev/full", fake_server});
    EXPECT_EQ(full.exit_code, 2);
    EXPECT_EQ(lastLine(full.err), "vorn-run: cannot write /dev/full: No space left on device");
    expectUsageError(vornRun({"--junit", dir, fake_server}), "Is a directory");
    // Nothing left behind: no temporary file beside the report.
    const Captured listing = runCaptured({"/bin/ls", "-A", dir});
    EXPECT_EQ(listing.out, "link.xml\nreport.xml\n");
    std::remove(link.c_str());
    std::remove(report.c_str());
    ::rmdir(dir.c_str());
}

TEST(FakeServer, StandardErrorBeforeTheAnswerBelongsToTheTest) {
    const Captured run = vornRun({"-j1", fake_server});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find("2/3 fake.test.two...FAIL\ncheck failed here\nand the trace ends here\n3/3"),
              std::string::npos)
        << run.err;
}

}  // namespace
