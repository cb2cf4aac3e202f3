#include "child_process.hpp"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace vorn_bench {
namespace {

std::vector<char*> argvOf(const std::string& path, const std::vector<std::string>& args) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    return argv;
}

int waitFor(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

PipedChild::PipedChild(const std::string& path, const std::vector<std::string>& args) {
    int in_pipe[2];
    int out_pipe[2];
    if (::pipe2(in_pipe, O_CLOEXEC) != 0) return;
    if (::pipe2(out_pipe, O_CLOEXEC) != 0) {
        ::close(in_pipe[0]);
        ::close(in_pipe[1]);
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in_pipe[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv = argvOf(path, args);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in_pipe[0]);
    ::close(out_pipe[1]);
    if (rc != 0) {
        ::close(in_pipe[1]);
        ::close(out_pipe[0]);
        return;
    }
    pid_ = pid;
    to_child_ = in_pipe[1];
    from_child_ = out_pipe[0];
}

PipedChild::~PipedChild() { (void)finish(); }

int PipedChild::finish() {
    if (to_child_ >= 0) ::close(to_child_);
    to_child_ = -1;
    int status = -1;
    if (pid_ > 0) status = waitFor(pid_);
    pid_ = -1;
    if (from_child_ >= 0) ::close(from_child_);
    from_child_ = -1;
    return status;
}

bool PipedChild::writeAll(const void* bytes, std::size_t size) const {
    const auto* p = static_cast<const char*>(bytes);
    while (size > 0) {
        const ssize_t put = ::write(to_child_, p, size);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        p += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

bool PipedChild::readExactly(void* out, std::size_t size) const {
    auto* p = static_cast<char*>(out);
    while (size > 0) {
        const ssize_t got = ::read(from_child_, p, size);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        p += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

int runToCompletion(const std::string& path, const std::string& stderr_path) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, stderr_path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    std::vector<char*> argv = argvOf(path, {});
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    return waitFor(pid);
}

}  // namespace vorn_bench
