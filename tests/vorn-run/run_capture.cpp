#include "run_capture.hpp"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "process/child_process.hpp"

namespace vorn::run_tests {
namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

std::string temporaryPath(const std::string& stem) {
    static int counter = 0;
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir != nullptr ? dir : "/tmp") + "/vorn-run-test-" + std::to_string(::getpid()) + "-" +
           std::to_string(counter++) + "-" + stem;
}

namespace {

using vorn::process::ChildProcess;
using vorn::process::Stream;

void recordEnd(Captured& result, int status, std::chrono::steady_clock::time_point started) {
    result.elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    result.exit_code = vorn::process::exitCode(status).value_or(-1);
    result.term_signal = vorn::process::terminatingSignal(status).value_or(0);
}

}  // namespace

Captured runCaptured(const std::vector<std::string>& argv, const std::vector<std::string>& extra_env,
                     std::chrono::milliseconds limit) {
    const std::string out_path = temporaryPath("stdout");
    const std::string err_path = temporaryPath("stderr");
    vorn::process::Command command;
    command.argv = argv;
    command.extra_environment = extra_env;
    command.in = Stream::devNull();
    command.out = Stream::file(out_path, O_WRONLY | O_CREAT | O_TRUNC);
    command.err = Stream::file(err_path, O_WRONLY | O_CREAT | O_TRUNC);

    const auto started = std::chrono::steady_clock::now();
    ChildProcess child = ChildProcess::start(command);
    Captured result;
    std::optional<int> status = child.waitUntil(started + limit);
    if (!status) {
        status = child.stop();
        result.killed_at_limit = true;
    }
    recordEnd(result, *status, started);
    result.out = slurp(out_path);
    result.err = slurp(err_path);
    ::unlink(out_path.c_str());
    ::unlink(err_path.c_str());
    return result;
}

Captured runOnTerminal(const std::vector<std::string>& argv, std::chrono::milliseconds limit) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0 ||
        ::fcntl(master, F_SETFD, FD_CLOEXEC) != 0) {
        throw std::runtime_error("no pty");
    }
    vorn::process::Command command;
    command.argv = argv;
    command.in = Stream::devNull();
    command.out = Stream::devNull();
    command.err = Stream::file(::ptsname(master), O_RDWR | O_NOCTTY);
    const auto started = std::chrono::steady_clock::now();
    ChildProcess child = ChildProcess::start(command);

    // Read while it runs: a full terminal buffer would stop the program.
    Captured result;
    bool ended = false;
    for (;;) {
        pollfd fd{master, POLLIN, 0};
        if (::poll(&fd, 1, 5) > 0) {
            char buffer[4096];
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n > 0) {
                result.err.append(buffer, static_cast<std::size_t>(n));
                continue;
            }
            if (ended) break;  // EIO: the last writer is gone
        } else if (ended) {
            break;
        }
        if (!ended && child.tryWait()) ended = true;
        if (!ended && std::chrono::steady_clock::now() - started > limit) {
            child.stop();
            result.killed_at_limit = true;
            ended = true;
        }
    }
    ::close(master);
    recordEnd(result, child.wait(), started);
    return result;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace vorn::run_tests
