#include "child_process.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>
#include <utility>

namespace vorn::process {
namespace {

constexpr std::chrono::milliseconds wait_poll_interval{2};

void closeFd(int& fd) noexcept {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

std::string withReason(const std::string& what, int error_number) {
    std::string text = what;
    text += ": ";
    text += std::strerror(error_number);
    return text;
}

// Both ends close-on-exec: a child started later must not inherit another child's pipe, or
// that pipe's end-of-file would never be seen.
struct Pipe {
    int read_end = -1;
    int write_end = -1;
    Pipe() = default;
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    ~Pipe() {
        closeFd(read_end);
        closeFd(write_end);
    }
    void open() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) throw StartError(withReason("cannot create a pipe", errno));
        read_end = fds[0];
        write_end = fds[1];
    }
};

void setNonBlocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0)
        throw StartError(withReason("cannot configure a pipe", errno));
}

// Owns the spawn attribute objects so every exit path destroys them.
struct SpawnSetup {
    posix_spawn_file_actions_t actions{};
    posix_spawnattr_t attributes{};
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

// Adds the file actions for one standard stream; `pipe` is opened when the stream is a pipe.
// `child_reads` says which pipe end the child gets.
void wireStream(SpawnSetup& setup, const Stream& stream, int target, Pipe& pipe, bool child_reads) {
    switch (stream.kind) {
        case Stream::Kind::inherit:
            break;
        case Stream::Kind::pipe:
            pipe.open();
            posix_spawn_file_actions_adddup2(&setup.actions, child_reads ? pipe.read_end : pipe.write_end,
                                             target);
            break;
        case Stream::Kind::null:
            posix_spawn_file_actions_addopen(&setup.actions, target, "/dev/null",
                                             child_reads ? O_RDONLY : O_WRONLY, 0);
            break;
        case Stream::Kind::file:
            posix_spawn_file_actions_addopen(&setup.actions, target, stream.path.c_str(), stream.flags, 0644);
            break;
        case Stream::Kind::descriptor:
            posix_spawn_file_actions_adddup2(&setup.actions, stream.fd, target);
            break;
        case Stream::Kind::closed:
            posix_spawn_file_actions_addclose(&setup.actions, target);
            break;
    }
}

// A descriptor that becomes readable when process `pid` ends (close-on-exec), or -1.
int openExitFd(pid_t pid) {
#ifdef SYS_pidfd_open
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    return -1;
#endif
}

}  // namespace

std::optional<int> exitCode(int wait_status) {
    if (WIFEXITED(wait_status)) return WEXITSTATUS(wait_status);
    return std::nullopt;
}

std::optional<int> terminatingSignal(int wait_status) {
    if (WIFSIGNALED(wait_status)) return WTERMSIG(wait_status);
    return std::nullopt;
}

ChildProcess ChildProcess::start(const Command& command) {
    if (command.argv.empty()) throw StartError("cannot run a program without a name");
    Pipe in;
    Pipe out;
    Pipe err;
    SpawnSetup setup;
    wireStream(setup, command.in, STDIN_FILENO, in, true);
    wireStream(setup, command.out, STDOUT_FILENO, out, false);
    wireStream(setup, command.err, STDERR_FILENO, err, false);

    sigset_t defaults;
    sigemptyset(&defaults);
    for (int sig : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&defaults, sig);
    sigset_t empty;
    sigemptyset(&empty);
    posix_spawnattr_setsigdefault(&setup.attributes, &defaults);
    posix_spawnattr_setsigmask(&setup.attributes, &empty);
    short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
    if (command.own_process_group) {
        posix_spawnattr_setpgroup(&setup.attributes, 0);
        flags |= POSIX_SPAWN_SETPGROUP;
    }
    posix_spawnattr_setflags(&setup.attributes, flags);

    std::vector<char*> argv;
    argv.reserve(command.argv.size() + 1);
    for (const std::string& word : command.argv) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (char** entry = environ; *entry != nullptr; ++entry) envp.push_back(*entry);
    for (const std::string& entry : command.extra_environment)
        envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);

    pid_t pid = -1;
    const int rc = ::posix_spawnp(&pid, argv[0], &setup.actions, &setup.attributes, argv.data(), envp.data());
    if (rc != 0) throw StartError(withReason("cannot run " + command.argv[0], rc));

    ChildProcess child;
    child.pid_ = pid;
    child.own_group_ = command.own_process_group;
    child.stdin_fd_ = std::exchange(in.write_end, -1);
    child.stdout_fd_ = std::exchange(out.read_end, -1);
    child.stderr_fd_ = std::exchange(err.read_end, -1);
    child.exit_fd_ = openExitFd(pid);
    if (command.nonblocking_pipes) {
        for (const int fd : {child.stdin_fd_, child.stdout_fd_, child.stderr_fd_}) {
            if (fd >= 0) setNonBlocking(fd);
        }
    }
    return child;
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      own_group_(other.own_group_),
      stopped_by_kill_(other.stopped_by_kill_),
      stdin_fd_(std::exchange(other.stdin_fd_, -1)),
      stdout_fd_(std::exchange(other.stdout_fd_, -1)),
      stderr_fd_(std::exchange(other.stderr_fd_, -1)),
      exit_fd_(std::exchange(other.exit_fd_, -1)),
      wait_status_(std::exchange(other.wait_status_, std::nullopt)) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        release();
        pid_ = std::exchange(other.pid_, -1);
        own_group_ = other.own_group_;
        stopped_by_kill_ = other.stopped_by_kill_;
        stdin_fd_ = std::exchange(other.stdin_fd_, -1);
        stdout_fd_ = std::exchange(other.stdout_fd_, -1);
        stderr_fd_ = std::exchange(other.stderr_fd_, -1);
        exit_fd_ = std::exchange(other.exit_fd_, -1);
        wait_status_ = std::exchange(other.wait_status_, std::nullopt);
    }
    return *this;
}

ChildProcess::~ChildProcess() { release(); }

void ChildProcess::release() noexcept {
    closeFd(stdin_fd_);
    if (pid_ > 0 && !wait_status_) stop();
    closeFd(stdout_fd_);
    closeFd(stderr_fd_);
    closeFd(exit_fd_);
    pid_ = -1;
}

void ChildProcess::closeStdin() { closeFd(stdin_fd_); }
void ChildProcess::closeStdout() { closeFd(stdout_fd_); }
void ChildProcess::closeStderr() { closeFd(stderr_fd_); }

void ChildProcess::signal(int signal_number) const {
    if (pid_ <= 0 || wait_status_) return;
    ::kill(own_group_ ? -pid_ : pid_, signal_number);
}

// Looks at the child's end without reaping it: while it is an unreaped zombie its process ID,
// and so its group's, cannot be reused, which keeps a kill of the group safe.
ChildProcess::End ChildProcess::peekEnd(bool block) const {
    siginfo_t info{};
    const int options = WEXITED | WNOWAIT | (block ? 0 : WNOHANG);
    int rc;
    do {
        rc = ::waitid(P_PID, static_cast<id_t>(pid_), &info, options);
    } while (rc != 0 && errno == EINTR);
    // Failure means something else reaped it (SIGCHLD ignored): its number may be reused.
    if (rc != 0) return End::reaped_elsewhere;
    return info.si_pid == pid_ ? End::exited : End::running;
}

// Reaps the child once it has ended, first ending whatever is left of its group.
void ChildProcess::reap(bool block) {
    if (wait_status_) return;
    const End end = peekEnd(block);
    if (end == End::running) return;
    if (end == End::reaped_elsewhere) {
        wait_status_ = SIGKILL;  // the status is lost; report a kill
        closeFd(exit_fd_);
        return;
    }
    if (own_group_) ::kill(-pid_, SIGKILL);
    int status = 0;
    pid_t got;
    do {
        got = ::waitpid(pid_, &status, 0);
    } while (got < 0 && errno == EINTR);
    wait_status_ = got == pid_ ? status : SIGKILL;
    closeFd(exit_fd_);
}

std::optional<int> ChildProcess::tryWait() {
    if (pid_ > 0) reap(false);
    return wait_status_;
}

int ChildProcess::wait() {
    if (pid_ > 0) reap(true);
    return wait_status_.value_or(0);
}

std::optional<int> ChildProcess::waitUntil(std::chrono::steady_clock::time_point deadline) {
    while (!tryWait()) {
        if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(wait_poll_interval);
    }
    return wait_status_;
}

int ChildProcess::stop() {
    if (wait_status_ || pid_ <= 0) return wait_status_.value_or(0);
    if (peekEnd(false) == End::running) {
        signal(SIGKILL);
        stopped_by_kill_ = true;
    }
    return wait();
}

}  // namespace vorn::process
