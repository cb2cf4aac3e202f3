// A CSV file that the long-run programs write: rows go to PATH.part, which replaces PATH only
// when close() finds every row written, so an earlier result is never lost to a failed run.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <utility>

namespace vorn::bench {

class CsvFile {
public:
    CsvFile(std::string path, const char* header) : path_(std::move(path)), part_(path_ + ".part") {
        file_ = std::fopen(part_.c_str(), "w");
        if (file_ == nullptr) throw std::runtime_error("cannot write " + part_);
        row("%s", header);
    }
    ~CsvFile() {
        if (file_ != nullptr) std::fclose(file_);  // an unfinished file stays .part
    }
    CsvFile(const CsvFile&) = delete;
    CsvFile& operator=(const CsvFile&) = delete;
    CsvFile(CsvFile&&) = delete;
    CsvFile& operator=(CsvFile&&) = delete;

    // One line, printf-style, without its newline.
    [[gnu::format(printf, 2, 3)]] void row(const char* format, ...) {
        std::va_list args;
        va_start(args, format);
        ok_ = std::vfprintf(file_, format, args) >= 0 && std::fputc('\n', file_) != EOF && ok_;
        va_end(args);
    }
    // Flushes what is written so far into PATH.part, for a run that is followed as it goes.
    void flush() { ok_ = std::fflush(file_) == 0 && ok_; }
    void close() {
        const bool closed = std::fclose(file_) == 0;
        file_ = nullptr;
        if (!(ok_ && closed) || std::rename(part_.c_str(), path_.c_str()) != 0)
            throw std::runtime_error("cannot write " + path_);
    }

private:
    std::string path_, part_;
    std::FILE* file_ = nullptr;
    bool ok_ = true;
};

}  // namespace vorn::bench
