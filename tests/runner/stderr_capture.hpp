// Captures what this process writes to file descriptor 2 while the object lives.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <stdexcept>
#include <string>

namespace vorn::runner_tests {

class StderrCapture {
public:
    StderrCapture() : file_(std::tmpfile()), saved_(::dup(STDERR_FILENO)) {
        if (file_ == nullptr || saved_ < 0) throw std::runtime_error("cannot capture standard error");
        ::dup2(::fileno(file_), STDERR_FILENO);
    }
    ~StderrCapture() {
        restore();
        std::fclose(file_);
    }
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    // Everything written so far.
    std::string text() const {
        std::string out;
        char chunk[4096];
        ssize_t got = 0;
        off_t at = 0;
        while ((got = ::pread(::fileno(file_), chunk, sizeof chunk, at)) > 0) {
            out.append(chunk, static_cast<std::size_t>(got));
            at += got;
        }
        return out;
    }

private:
    void restore() {
        if (saved_ < 0) return;
        ::dup2(saved_, STDERR_FILENO);
        ::close(saved_);
        saved_ = -1;
    }

    std::FILE* file_;
    int saved_;
};

}  // namespace vorn::runner_tests
