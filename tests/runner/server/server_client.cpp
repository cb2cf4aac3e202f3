#include "server_client.hpp"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace vorn::server_test {
namespace {

void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

int remainingMs(std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// The scheduler state of process `pid` as /proc shows it ('R', 'S', 'Z', ...); 'X' once gone.
char processState(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    if (!std::getline(stat, text)) return 'X';
    const std::size_t paren = text.rfind(')');
    return paren != std::string::npos && paren + 2 < text.size() ? text[paren + 2] : 'X';
}

}  // namespace

ServerClient::ServerClient(const std::string& program, StdinKind stdin_kind, StdoutKind stdout_kind) {
    // A child that dies must show up as a failed send, not end the test process.
    std::signal(SIGPIPE, SIG_IGN);
    int in[2], out[2], err[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    if (stdin_kind == StdinKind::nonblocking_pipe && ::fcntl(in[0], F_SETFL, O_NONBLOCK) != 0) {
        throw std::runtime_error("cannot make the input pipe non-blocking");
    }
    if (stdout_kind == StdoutKind::nonblocking_pipe) {
        for (const int fd : {out[1], err[1]}) {
            if (::fcntl(fd, F_SETPIPE_SZ, 4096) < 0 || ::fcntl(fd, F_SETFL, O_NONBLOCK) != 0) {
                throw std::runtime_error("cannot make the output pipes small and non-blocking");
            }
        }
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdin_kind != StdinKind::unreadable) {
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    } else {
        posix_spawn_file_actions_addopen(&actions, 0, "/", O_RDONLY | O_DIRECTORY, 0);
    }
    // With the read end closed before the child starts, its very first frame already fails.
    if (stdout_kind == StdoutKind::closed_pipe) {
        ::close(out[0]);
        out[0] = -1;
    }
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    std::string listen = "--listen=-";
    char* argv[] = {const_cast<char*>(program.c_str()), listen.data(), nullptr};
    const int rc = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    to_child_ = in[1];
    from_stdout_ = out[0];
    from_stderr_ = err[0];
    if (rc != 0) throw std::runtime_error("cannot start " + program);
    if (stdin_kind == StdinKind::unreadable) closeFd(to_child_);
}

ServerClient::~ServerClient() {
    if (!end_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    closeFd(to_child_);
    closeFd(from_stdout_);
    closeFd(from_stderr_);
}

bool ServerClient::send(const Bytes& bytes) const {
    std::size_t at = 0;
    while (at < bytes.size()) {
        const ssize_t put = ::write(to_child_, bytes.data() + at, bytes.size() - at);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        at += static_cast<std::size_t>(put);
    }
    return true;
}

bool ServerClient::pump(std::chrono::steady_clock::time_point deadline) {
    pollfd fds[2] = {{from_stdout_, POLLIN, 0}, {from_stderr_, POLLIN, 0}};
    if (from_stdout_ < 0 && from_stderr_ < 0) return false;
    const int ready = ::poll(fds, 2, remainingMs(deadline));
    if (ready <= 0) return true;
    std::byte chunk[4096];
    for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || fds[i].revents == 0) continue;
        const ssize_t got = ::read(fds[i].fd, chunk, sizeof chunk);
        if (got <= 0) {
            closeFd(i == 0 ? from_stdout_ : from_stderr_);
        } else if (i == 0) {
            stdout_.insert(stdout_.end(), chunk, chunk + got);
        } else {
            stderr_.append(reinterpret_cast<const char*>(chunk), static_cast<std::size_t>(got));
        }
    }
    return true;
}

std::optional<Frame> ServerClient::nextFrame(std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    for (;;) {
        if (stdout_.size() >= 8) {
            const std::size_t len = u32At(stdout_, 4);
            if (stdout_.size() >= 8 + len) {
                Frame frame{u32At(stdout_, 0), Bytes(stdout_.begin() + 8,
                                                     stdout_.begin() + 8 + static_cast<std::ptrdiff_t>(len))};
                stdout_.erase(stdout_.begin(), stdout_.begin() + 8 + static_cast<std::ptrdiff_t>(len));
                return frame;
            }
        }
        if (from_stdout_ < 0 || std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        pump(deadline);
    }
}

void ServerClient::closeInput() { closeFd(to_child_); }

ChildEnd ServerClient::finish(InputAtFinish input, std::chrono::milliseconds bound) {
    if (input == InputAtFinish::close) closeInput();
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (std::chrono::steady_clock::now() < deadline && pump(deadline)) {}
    ChildEnd end;
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            end.finished = true;
            end.exited = WIFEXITED(status);
            end.status = end.exited ? WEXITSTATUS(status) : -1;
            end.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    // Whatever is still buffered in the pipes after the exit, up to their end.
    const auto drained = std::chrono::steady_clock::now() + hang_bound;
    while (std::chrono::steady_clock::now() < drained && pump(drained)) {}
    end_ = end;
    return end;
}

bool ServerClient::waitUntilBlocked(Blocked what, std::chrono::milliseconds bound) const {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    for (;;) {
        const char state = processState(pid_);
        if (state == 'Z' || state == 'X') return true;
        int unread = 0;
        if (state == 'S' && ::ioctl(to_child_, FIONREAD, &unread) == 0 &&
            (what == Blocked::on_input ? unread == 0 : unread > 0)) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

}  // namespace vorn::server_test
