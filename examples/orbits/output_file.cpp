#include "output_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "text.hpp"

namespace orbits {

OutputFile::OutputFile(std::string path) : path_(std::move(path)), stream_(&buffer_) {}

OutputFile::OutputFile(OutputTarget target)
    : path_(target.path), target_(std::move(target)), stream_(&buffer_) {}

OutputFile::~OutputFile() {
    if (fd_ >= 0) ::close(fd_);
    if (part_created_) ::unlink(target_->part_path.c_str());
}

bool OutputFile::open(std::string& error) {
    if (!target_) target_ = locateOutput(path_, error);
    if (!target_) return false;
    const bool opened =
        target_->mode == OutputMode::replace ? openPart(*target_, error) : openDirect(*target_, error);
    if (opened) buffer_.attach(fd_);
    return opened;
}

bool OutputFile::openPart(const OutputTarget& target, std::string& error) {
    const char* part = target.part_path.c_str();
    registration_.hold(part);
    // A regular file of that name is left over from a run that was killed.
    if (::unlink(part) != 0 && errno != ENOENT) {
        error = cat("cannot create ", target.part_path, ": ", std::strerror(errno));
        registration_.release();
        return false;
    }
    fd_ = ::open(part, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        error = cat("cannot create ", target.part_path, ": ", std::strerror(errno));
        registration_.release();
        return false;
    }
    part_created_ = true;
    // The file replaced keeps its permissions; failing to copy them loses nothing.
    if (target.permissions) static_cast<void>(::fchmod(fd_, *target.permissions));
    return true;
}

bool OutputFile::openDirect(const OutputTarget& target, std::string& error) {
    // Without blocking, so a FIFO nobody reads is an error rather than a wait without end.
    fd_ = ::open(target.open_path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) {
        // A FIFO without a reader fails to open with ENXIO; so does a terminal that is not there.
        const bool no_reader = errno == ENXIO && target.fifo;
        error = cat("cannot write ", path_, ": ",
                    no_reader ? "no process is reading from it" : std::strerror(errno));
        return false;
    }
    struct stat status {};
    const int flags = ::fcntl(fd_, F_GETFL);
    if (::fstat(fd_, &status) != 0 || !(S_ISFIFO(status.st_mode) || S_ISCHR(status.st_mode)) || flags < 0 ||
        ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        error = cat("cannot write ", path_, ": it changed while being opened");
        return false;
    }
    return true;
}

std::string OutputFile::writeError(int error_number) const {
    return cat("cannot write ", path_, ": ", std::strerror(error_number));
}

bool OutputFile::healthy(std::string& error) const {
    if (buffer_.failure() == 0) return true;
    error = writeError(buffer_.failure());
    return false;
}

bool OutputFile::complete(std::string& error) {
    if (fd_ < 0) {
        error = cat("cannot write ", path_, ": it is not open");
        return false;
    }
    stream_.flush();
    const int fd = std::exchange(fd_, -1);
    if (buffer_.failure() != 0) {
        ::close(fd);
        error = writeError(buffer_.failure());
        return false;
    }
    if (::close(fd) != 0) {
        error = writeError(errno);
        return false;
    }
    completed_ = true;
    return true;
}

bool OutputFile::publish(std::string& error) {
    if (!completed_) {
        error = cat("cannot write ", path_, ": it is not complete");
        return false;
    }
    if (target_->mode == OutputMode::replace && part_created_) {
        if (std::rename(target_->part_path.c_str(), target_->open_path.c_str()) != 0) {
            error = cat("cannot rename ", target_->part_path, " to ", target_->open_path, ": ",
                        std::strerror(errno));
            return false;
        }
        part_created_ = false;
        registration_.release();
    }
    return true;
}

}  // namespace orbits
