// A child process started with posix_spawn: its standard streams wired as asked, its end
// awaited without blocking or with, and, when it leads a process group of its own, everything
// it started ended with it. The one process helper of vorn-run, the benchmarks and the tests.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace vorn::process {

// Where one standard stream of the child goes.
struct Stream {
    enum class Kind { inherit, pipe, null, file, descriptor, closed };
    Kind kind = Kind::inherit;
    std::string path;  // file: opened in the child with `flags`, mode 0644 when created
    int flags = 0;
    int fd = -1;  // descriptor: this process's descriptor, duplicated onto the stream

    static Stream inherited() { return {}; }
    // A pipe whose other end this process holds (stdinFd(), stdoutFd(), stderrFd()).
    static Stream piped() { return {Kind::pipe, {}, 0, -1}; }
    static Stream devNull() { return {Kind::null, {}, 0, -1}; }
    static Stream file(std::string file_path, int open_flags) {
        return {Kind::file, std::move(file_path), open_flags, -1};
    }
    static Stream duplicateOf(int descriptor) { return {Kind::descriptor, {}, 0, descriptor}; }
    static Stream closed() { return {Kind::closed, {}, 0, -1}; }
};

struct Command {
    std::vector<std::string> argv;  // argv[0] names the program; PATH is searched without a slash
    std::vector<std::string> extra_environment;  // "NAME=value", added to this process's environment
    Stream in;
    Stream out;
    Stream err;
    // The child leads a new process group; ending or reaping it ends the whole group, so
    // nothing it started outlives it.
    bool own_process_group = false;
    // This process's ends of the pipes do not block.
    bool nonblocking_pipes = false;
};

// The child could not be started; what() names the program and gives the system's reason.
struct StartError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The child starts with SIGPIPE, SIGINT, SIGTERM, SIGHUP and SIGQUIT at their default actions
// and no signal blocked, whatever this process ignores or blocks. Pipe ends are close-on-exec,
// so no later child inherits them. This process must not ignore SIGCHLD (children would be
// reaped behind its back and how they ended lost).
class ChildProcess {
public:
    static ChildProcess start(const Command& command);

    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    // Closes the pipes; a child still running is killed (with its group) and reaped.
    ~ChildProcess();

    pid_t pid() const { return pid_; }
    int stdinFd() const { return stdin_fd_; }
    int stdoutFd() const { return stdout_fd_; }
    int stderrFd() const { return stderr_fd_; }
    // Readable once the child has ended, until it is reaped (then -1); -1 where the system
    // offers no such descriptor (Linux before 5.3), so callers look with tryWait() instead.
    int exitFd() const { return exit_fd_; }
    void closeStdin();
    void closeStdout();
    void closeStderr();

    // Sends `signal_number` to the child (to its group when it leads one) unless it is reaped.
    void signal(int signal_number) const;
    // The waitpid status once the child has ended, without blocking.
    std::optional<int> tryWait();
    // Waits for the end; returns the waitpid status.
    int wait();
    // Waits until `deadline` at most; nullopt when the child is still running then.
    std::optional<int> waitUntil(std::chrono::steady_clock::time_point deadline);
    // SIGKILL unless the child has ended already, then waits; returns the waitpid status.
    int stop();
    // Whether stop() found the child running and killed it.
    bool stoppedByKill() const { return stopped_by_kill_; }

    std::optional<int> waitStatus() const { return wait_status_; }

private:
    ChildProcess() = default;
    enum class End { running, exited, reaped_elsewhere };
    End peekEnd(bool block) const;
    void reap(bool block);
    void release() noexcept;

    pid_t pid_ = -1;
    bool own_group_ = false;
    bool stopped_by_kill_ = false;
    int stdin_fd_ = -1;
    int stdout_fd_ = -1;
    int stderr_fd_ = -1;
    int exit_fd_ = -1;
    std::optional<int> wait_status_;
};

// The process exit status (0–255) of a waitpid status, or nullopt when a signal ended it.
std::optional<int> exitCode(int wait_status);
// The signal that ended the process, or nullopt when it exited.
std::optional<int> terminatingSignal(int wait_status);

}  // namespace vorn::process
