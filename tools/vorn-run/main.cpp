// vorn-run: drives an executable's server mode to run its registered tests in parallel,
// each crash and hang confined to one test.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "concat.hpp"
#include "errors.hpp"
#include "junit.hpp"
#include "options.hpp"
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

int fail(std::string_view message) {
    std::fprintf(stderr, "vorn-run: %.*s\n", static_cast<int>(message.size()), message.data());
    return usage_status;
}

int runMain(const vorn_run::Options& options, int interrupt_fd) {
    using namespace vorn_run;
    std::ofstream junit;
    if (options.junit_path && !options.list) {
        // Opened before any test runs, so a bad path costs no test time.
        junit.open(*options.junit_path, std::ios::binary | std::ios::trunc);
        if (!junit) throw UsageError(concat({"cannot write ", *options.junit_path}));
    }

    ServerPool pool(options.executable, options.timeout);
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
        for (const std::string& name : names) std::cout << name << '\n';
        std::cout.flush();
        return std::cout ? 0 : usage_status;
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
        writeJUnit(junit, suite);
        junit.close();
        if (!junit) throw UsageError(concat({"cannot write ", *options.junit_path}));
    }
    return exitStatus(countRuns(reporter.runs()));
}

}  // namespace

int main(int argc, char** argv) {
    keepStandardDescriptorsOpen();
    // A server that dies must show up as a failed write, not end vorn-run.
    ::signal(SIGPIPE, SIG_IGN);

    const std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    vorn_run::Options options;
    try {
        options = vorn_run::parseOptions(args);
    } catch (const vorn_run::UsageError& error) {
        return fail(vorn_run::concat({error.what(), " (try vorn-run --help)"}));
    }
    if (options.help) {
        std::cout << vorn_run::usageText();
        return 0;
    }

    const int interrupt_fd = vorn_run::installInterruptPipe();
    try {
        return runMain(options, interrupt_fd);
    } catch (const vorn_run::UsageError& error) {
        return fail(error.what());
    } catch (const vorn_run::ProtocolError& error) {
        return fail(error.what());
    } catch (const std::exception& error) {
        // Out of memory or a failed system call deep inside: still one line, still status 2.
        return fail(vorn_run::concat({"stopped: ", error.what()}));
    } catch (const vorn_run::Interrupted& interrupted) {
        // The servers are gone with the pool; end the way the signal asked.
        ::signal(interrupted.signal_number, SIG_DFL);
        ::raise(interrupted.signal_number);
        return 128 + interrupted.signal_number;
    }
}
