// vorn-run: drives an executable's server mode to run its registered tests in parallel,
// each crash and hang confined to one test.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "concat.hpp"
#include "errors.hpp"
#include "junit.hpp"
#include "options.hpp"
#include "orphans.hpp"
#include "output_file.hpp"
#include "report.hpp"
#include "scheduler.hpp"
#include "selection.hpp"

namespace {

constexpr int usage_status = 2;

// Servers get pipes for 0, 1 and 2; with one of ours closed, a pipe could land on that number
// and be mistaken for it.
void keepStandardDescriptorsOpen() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) < 0) ::open("/dev/null", O_RDWR);
    }
}

std::string baseName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Writes all of `text` to standard output; false, with errno set, when it cannot.
bool writeStandardOutput(std::string_view text) {
    while (!text.empty()) {
        const ssize_t put = ::write(STDOUT_FILENO, text.data(), text.size());
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        text.remove_prefix(static_cast<std::size_t>(put));
    }
    return true;
}

std::string cannotWriteStandardOutput(std::string_view what) {
    return vorn::run::concat({"cannot write ", what, " to standard output: ", std::strerror(errno)});
}

int fail(std::string_view message) {
    std::fprintf(stderr, "vorn-run: %.*s\n", static_cast<int>(message.size()), message.data());
    return usage_status;
}

int runMain(const vorn::run::Options& options, int interrupt_fd) {
    using namespace vorn::run;
    // Made before the first server starts; ends what the servers left after the pool has
    // ended them, however the run ends.
    const OrphanReaper orphans;
    // Checked before any test runs, so a bad path costs no test time.
    std::optional<OutputFile> junit;
    if (options.junit_path && !options.list) junit.emplace(*options.junit_path);

    ServerPool pool(options.executable, options.timeout, orphans);
    pool.setInterruptFd(interrupt_fd);
    const Clock::time_point started = Clock::now();
    const std::vector<std::string> names = [&] {
        try {
            return pool.queryTestNames();
        } catch (const ProtocolError& error) {
            throw ProtocolError(concat({options.executable, " ", error.what()}));
        }
    }();

    if (options.list) {
        pool.shutdown();
        // Raw for programs that read the list; escaped for a person at a terminal.
        const bool terminal = ::isatty(STDOUT_FILENO) == 1;
        std::string text;
        for (const std::string& name : names) text += concat({terminal ? printable(name) : name, "\n"});
        if (!writeStandardOutput(text)) throw UsageError(cannotWriteStandardOutput("the test names"));
        return 0;
    }

    const std::vector<std::size_t> selected = selectTests(names, options);
    Reporter reporter(names, selected, ::isatty(STDERR_FILENO) == 1, stderr);
    RunCallbacks callbacks{
        [&](std::size_t index) { reporter.started(index); },
        [&](TestRun run) { reporter.finished(std::move(run)); },
        [&](std::string_view text) { reporter.note(text); },
    };
    try {
        pool.run(selected, effectiveJobs(options), callbacks);
        pool.shutdown();
    } catch (const ProtocolError& error) {
        throw ProtocolError(concat({options.executable, " ", error.what()}));
    }
    reporter.finish();

    if (options.junit_path) {
        const JUnitSuite suite{baseName(options.executable), pool.serverVersion(), &names, &reporter.runs(),
                               Clock::now() - started};
        std::ostringstream xml;
        writeJUnit(xml, suite);
        junit->commit(xml.view());
    }
    return exitStatus(countRuns(reporter.runs()));
}

}  // namespace

int main(int argc, char** argv) {
    keepStandardDescriptorsOpen();
    // A server that dies must show up as a failed write, not end vorn-run.
    ::signal(SIGPIPE, SIG_IGN);
    // An ignored SIGCHLD, inherited from whoever started vorn-run, would reap servers behind
    // its back and lose how they ended.
    ::signal(SIGCHLD, SIG_DFL);

    const std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    vorn::run::Options options;
    try {
        options = vorn::run::parseOptions(args);
    } catch (const vorn::run::UsageError& error) {
        return fail(vorn::run::concat({error.what(), " (try vorn-run --help)"}));
    }
    if (options.help) {
        if (!writeStandardOutput(vorn::run::usageText())) return fail(cannotWriteStandardOutput("the help"));
        return 0;
    }

    const int interrupt_fd = vorn::run::installInterruptPipe();
    try {
        return runMain(options, interrupt_fd);
    } catch (const vorn::run::UsageError& error) {
        return fail(error.what());
    } catch (const vorn::run::ProtocolError& error) {
        return fail(error.what());
    } catch (const std::exception& error) {
        // Out of memory or a failed system call deep inside: still one line, still status 2.
        return fail(vorn::run::concat({"stopped: ", error.what()}));
    } catch (const vorn::run::Interrupted& interrupted) {
        // The servers are gone with the pool; end the way the signal asked.
        ::signal(interrupted.signal_number, SIG_DFL);
        ::raise(interrupted.signal_number);
        return 128 + interrupted.signal_number;
    }
}
