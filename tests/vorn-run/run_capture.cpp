#include "run_capture.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace vorn_run_tests {
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

Captured runCaptured(const std::vector<std::string>& argv, const std::vector<std::string>& extra_env,
                     std::chrono::milliseconds limit) {
    const std::string out_path = temporaryPath("stdout");
    const std::string err_path = temporaryPath("stderr");

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);

    std::vector<std::string> env_strings;
    for (char** e = environ; *e != nullptr; ++e) env_strings.emplace_back(*e);
    env_strings.insert(env_strings.end(), extra_env.begin(), extra_env.end());
    std::vector<char*> envp;
    envp.reserve(env_strings.size() + 1);
    for (auto& e : env_strings) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = argv;
    std::vector<char*> argp;
    argp.reserve(args.size() + 1);
    for (auto& a : args) argp.push_back(a.data());
    argp.push_back(nullptr);

    const auto started = std::chrono::steady_clock::now();
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " + argv[0]);

    Captured result;
    int status = 0;
    for (;;) {
        const pid_t got = ::waitpid(pid, &status, WNOHANG);
        if (got == pid) break;
        if (std::chrono::steady_clock::now() - started > limit) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            result.killed_at_limit = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    result.elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.term_signal = WTERMSIG(status);
    result.out = slurp(out_path);
    result.err = slurp(err_path);
    ::unlink(out_path.c_str());
    ::unlink(err_path.c_str());
    return result;
}

Captured runOnTerminal(const std::vector<std::string>& argv, std::chrono::milliseconds limit) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) throw std::runtime_error("no pty");
    const std::string slave = ::ptsname(master);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, slave.c_str(), O_RDWR | O_NOCTTY, 0);
    posix_spawn_file_actions_addclose(&actions, master);
    std::vector<std::string> args = argv;
    std::vector<char*> argp;
    argp.reserve(args.size() + 1);
    for (auto& a : args) argp.push_back(a.data());
    argp.push_back(nullptr);
    const auto started = std::chrono::steady_clock::now();
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, argp[0], &actions, nullptr, argp.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " + argv[0]);

    // Read while it runs: a full terminal buffer would stop the program.
    Captured result;
    int status = 0;
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
        if (!ended && ::waitpid(pid, &status, WNOHANG) == pid) ended = true;
        if (!ended && std::chrono::steady_clock::now() - started > limit) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            result.killed_at_limit = true;
            ended = true;
        }
    }
    ::close(master);
    result.elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.term_signal = WTERMSIG(status);
    return result;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace vorn_run_tests
