#include "output_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "concat.hpp"
#include "errors.hpp"

namespace vorn::run {
namespace {

constexpr int max_link_depth = 40;

std::string directoryOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The path a dangling symbolic link would create when written through; empty with errno set
// when the chain cannot be followed.
std::string followDanglingLink(std::string path) {
    for (int depth = 0; depth < max_link_depth; ++depth) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0) return errno == ENOENT ? path : std::string();
        if (!S_ISLNK(info.st_mode)) return path;
        std::vector<char> target(PATH_MAX + 1);
        const ssize_t length = ::readlink(path.c_str(), target.data(), PATH_MAX);
        if (length < 0) return {};
        std::string next(target.data(), static_cast<std::size_t>(length));
        path = next.starts_with('/') ? next : concat({directoryOf(path), "/", next});
    }
    errno = ELOOP;
    return {};
}

bool writeAll(int fd, std::string_view content) {
    while (!content.empty()) {
        const ssize_t put = ::write(fd, content.data(), content.size());
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        content.remove_prefix(static_cast<std::size_t>(put));
    }
    return true;
}

}  // namespace

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {
    struct stat info {};
    mode_t keep_mode = 0;
    bool replace_existing = false;
    if (::stat(path_.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) fail(EISDIR);
        if (!S_ISREG(info.st_mode)) {
            // A FIFO, a terminal, /dev/null: written through at the end.
            if (::access(path_.c_str(), W_OK) != 0) fail(errno);
            target_ = path_;
            return;
        }
        if (::access(path_.c_str(), W_OK) != 0) fail(errno);
        char* resolved = ::realpath(path_.c_str(), nullptr);
        if (resolved == nullptr) fail(errno);
        target_ = resolved;
        std::free(resolved);
        keep_mode = info.st_mode & 07777;
        replace_existing = true;
    } else if (errno == ENOENT) {
        target_ = followDanglingLink(path_);
        if (target_.empty()) fail(errno);
    } else {
        fail(errno);
    }

    // The temporary file is created like any new file (0666 less the umask), then given the
    // mode of the file it replaces.
    for (int attempt = 0;; ++attempt) {
        temporary_ = concat({target_, ".tmp-", std::to_string(::getpid()), "-", std::to_string(attempt)});
        temporary_fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (temporary_fd_ >= 0) break;
        if (errno != EEXIST || attempt == 100) {
            const int error_number = errno;
            temporary_.clear();
            fail(error_number);
        }
    }
    if (replace_existing && ::fchmod(temporary_fd_, keep_mode) != 0) fail(errno);
}

OutputFile::~OutputFile() {
    if (temporary_fd_ >= 0) ::close(temporary_fd_);
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

void OutputFile::fail(int error_number) {
    throw UsageError(concat({"cannot write ", path_, ": ", std::strerror(error_number)}));
}

void OutputFile::commit(std::string_view content) {
    if (temporary_.empty()) {
        // Without a reader a FIFO would block the open for ever; O_NONBLOCK makes that ENXIO.
        const int fd = ::open(target_.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0 && errno == ENXIO) {
            throw UsageError(concat({"cannot write ", path_, ": no process is reading it"}));
        }
        if (fd < 0) fail(errno);
        const int flags = ::fcntl(fd, F_GETFL);
        const bool ok = flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0 && writeAll(fd, content);
        const int error_number = errno;
        if (::close(fd) != 0 && ok) fail(errno);
        if (!ok) fail(error_number);
        return;
    }
    const bool written = writeAll(temporary_fd_, content);
    const int write_error = errno;
    const int closed = ::close(temporary_fd_);
    const int close_error = errno;
    temporary_fd_ = -1;
    if (!written) fail(write_error);
    if (closed != 0) fail(close_error);
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) fail(errno);
    temporary_.clear();
}

}  // namespace vorn::run
