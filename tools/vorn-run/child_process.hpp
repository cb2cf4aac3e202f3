// One server process: `EXECUTABLE --listen=-` with its standard input, output and error on
// non-blocking pipes held by the parent.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace vorn_run {

class ServerProcess {
public:
    // Starts the executable (looked up on PATH when it has no slash). Throws UsageError when
    // it cannot be started at all.
    static ServerProcess spawn(const std::string& executable);

    ServerProcess(ServerProcess&& other) noexcept;
    ServerProcess& operator=(ServerProcess&& other) noexcept;
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;
    // A process still running is killed and reaped, so no child outlives its owner.
    ~ServerProcess();

    pid_t pid() const { return pid_; }
    int stdinFd() const { return stdin_fd_; }
    int stdoutFd() const { return stdout_fd_; }
    int stderrFd() const { return stderr_fd_; }

    void closeStdin();
    void closeStdout();
    void closeStderr();

    // The waitpid status once the process has ended; polls without blocking.
    std::optional<int> tryReap();
    // SIGKILL (if still running), then waits for the end; returns the waitpid status.
    int killAndReap();
    bool reaped() const { return wait_status_.has_value(); }
    std::optional<int> waitStatus() const { return wait_status_; }

private:
    ServerProcess() = default;
    void release() noexcept;

    pid_t pid_ = -1;
    int stdin_fd_ = -1;
    int stdout_fd_ = -1;
    int stderr_fd_ = -1;
    std::optional<int> wait_status_;
};

}  // namespace vorn_run
