#include "child_process.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "concat.hpp"
#include "errors.hpp"

namespace vorn_run {
namespace {

struct Pipe {
    int read_end = -1;
    int write_end = -1;
};

void closeFd(int& fd) noexcept {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

// Both ends close-on-exec: servers started later must not inherit another server's pipes,
// or its end-of-file would never be seen.
Pipe makePipe() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        throw UsageError(concat({"cannot create a pipe: ", std::strerror(errno)}));
    }
    return Pipe{fds[0], fds[1]};
}

void setNonBlocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) {
        throw UsageError(concat({"cannot configure a pipe: ", std::strerror(errno)}));
    }
}

// Owns the spawn attribute objects so every exit path destroys them.
struct SpawnSetup {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    SpawnSetup() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
};

}  // namespace

ServerProcess ServerProcess::spawn(const std::string& executable) {
    Pipe in = makePipe();
    Pipe out;
    Pipe err;
    ServerProcess process;
    try {
        out = makePipe();
        err = makePipe();

        SpawnSetup setup;
        posix_spawn_file_actions_adddup2(&setup.actions, in.read_end, STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&setup.actions, out.write_end, STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&setup.actions, err.write_end, STDERR_FILENO);

        // The server starts with default dispositions and nothing blocked, whatever this
        // process ignores (it ignores SIGPIPE) or blocks.
        sigset_t defaults;
        sigemptyset(&defaults);
        for (int sig : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&defaults, sig);
        sigset_t empty;
        sigemptyset(&empty);
        posix_spawnattr_setsigdefault(&setup.attributes, &defaults);
        posix_spawnattr_setsigmask(&setup.attributes, &empty);
        posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

        std::string listen_arg = "--listen=-";
        char* argv[] = {const_cast<char*>(executable.c_str()), listen_arg.data(), nullptr};
        pid_t pid = -1;
        const int rc =
            ::posix_spawnp(&pid, executable.c_str(), &setup.actions, &setup.attributes, argv, environ);
        if (rc != 0) throw UsageError(concat({"cannot run ", executable, ": ", std::strerror(rc)}));
        process.pid_ = pid;
    } catch (...) {
        for (Pipe* p : {&in, &out, &err}) {
            closeFd(p->read_end);
            closeFd(p->write_end);
        }
        throw;
    }
    closeFd(in.read_end);
    closeFd(out.write_end);
    closeFd(err.write_end);
    process.stdin_fd_ = in.write_end;
    process.stdout_fd_ = out.read_end;
    process.stderr_fd_ = err.read_end;
    setNonBlocking(process.stdin_fd_);
    setNonBlocking(process.stdout_fd_);
    setNonBlocking(process.stderr_fd_);
    return process;
}

ServerProcess::ServerProcess(ServerProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      stdin_fd_(std::exchange(other.stdin_fd_, -1)),
      stdout_fd_(std::exchange(other.stdout_fd_, -1)),
      stderr_fd_(std::exchange(other.stderr_fd_, -1)),
      wait_status_(std::exchange(other.wait_status_, std::nullopt)) {}

ServerProcess& ServerProcess::operator=(ServerProcess&& other) noexcept {
    if (this != &other) {
        release();
        pid_ = std::exchange(other.pid_, -1);
        stdin_fd_ = std::exchange(other.stdin_fd_, -1);
        stdout_fd_ = std::exchange(other.stdout_fd_, -1);
        stderr_fd_ = std::exchange(other.stderr_fd_, -1);
        wait_status_ = std::exchange(other.wait_status_, std::nullopt);
    }
    return *this;
}

ServerProcess::~ServerProcess() { release(); }

void ServerProcess::release() noexcept {
    closeFd(stdin_fd_);
    if (pid_ > 0 && !wait_status_) killAndReap();
    closeFd(stdout_fd_);
    closeFd(stderr_fd_);
    pid_ = -1;
}

void ServerProcess::closeStdin() { closeFd(stdin_fd_); }
void ServerProcess::closeStdout() { closeFd(stdout_fd_); }
void ServerProcess::closeStderr() { closeFd(stderr_fd_); }

std::optional<int> ServerProcess::tryReap() {
    if (wait_status_ || pid_ <= 0) return wait_status_;
    int status = 0;
    pid_t got;
    do {
        got = ::waitpid(pid_, &status, WNOHANG);
    } while (got < 0 && errno == EINTR);
    if (got == pid_) wait_status_ = status;
    return wait_status_;
}

int ServerProcess::killAndReap() {
    if (wait_status_) return *wait_status_;
    if (pid_ <= 0) return 0;
    ::kill(pid_, SIGKILL);
    int status = 0;
    pid_t got;
    do {
        got = ::waitpid(pid_, &status, 0);
    } while (got < 0 && errno == EINTR);
    // Only a foreign reaper could make waitpid fail here; report the kill we sent.
    wait_status_ = got == pid_ ? status : SIGKILL;
    return *wait_status_;
}

}  // namespace vorn_run
