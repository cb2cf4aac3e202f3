#include "child_process.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace vorn::bench {
namespace {

using vorn::process::ChildProcess;
using vorn::process::Command;
using vorn::process::Stream;

}  // namespace

PipedChild::PipedChild(const std::string& path, const std::vector<std::string>& args) {
    Command command;
    command.argv.push_back(path);
    command.argv.insert(command.argv.end(), args.begin(), args.end());
    command.in = Stream::piped();
    command.out = Stream::piped();
    command.err = Stream::devNull();
    try {
        child_.emplace(ChildProcess::start(command));
    } catch (const vorn::process::StartError&) {
        child_.reset();
    }
}

int PipedChild::finish() {
    if (!child_) return -1;
    child_->closeStdin();
    const int status = vorn::process::exitCode(child_->wait()).value_or(-1);
    child_.reset();
    return status;
}

bool PipedChild::writeAll(const void* bytes, std::size_t size) const {
    if (!child_) return false;
    const auto* p = static_cast<const char*>(bytes);
    while (size > 0) {
        const ssize_t put = ::write(child_->stdinFd(), p, size);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        p += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

bool PipedChild::readExactly(void* out, std::size_t size) const {
    if (!child_) return false;
    auto* p = static_cast<char*>(out);
    while (size > 0) {
        const ssize_t got = ::read(child_->stdoutFd(), p, size);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        p += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

int runToCompletion(const std::string& path, const std::string& stderr_path) {
    Command command;
    command.argv = {path};
    command.in = Stream::devNull();
    command.err = Stream::file(stderr_path, O_WRONLY | O_CREAT | O_APPEND);
    try {
        ChildProcess child = ChildProcess::start(command);
        return vorn::process::exitCode(child.wait()).value_or(-1);
    } catch (const vorn::process::StartError&) {
        return -1;
    }
}

}  // namespace vorn::bench
