// A report file that is written whole or not at all. A regular file (or a new one) is replaced
// by renaming a complete temporary file beside it over it, so an interrupted or failed run
// keeps the previous report; a symbolic link is followed to the file it names; a FIFO or a
// device is written through. A directory is refused.
#pragma once

#include <string>
#include <string_view>

namespace vorn::run {

class OutputFile {
public:
    // Checks that `path` can be written (and creates the temporary file), so a bad path fails
    // before any work. Throws UsageError "cannot write PATH: <the system's reason>".
    explicit OutputFile(std::string path);
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    // Removes the temporary file unless commit() put it in place.
    ~OutputFile();

    // Writes `content` and puts it in place; throws UsageError as above.
    void commit(std::string_view content);

private:
    [[noreturn]] void fail(int error_number);

    std::string path_;       // as the user wrote it, for messages
    std::string target_;     // the file replaced (links followed), or the file written through
    std::string temporary_;  // beside target_; empty when writing through
    int temporary_fd_ = -1;
};

}  // namespace vorn::run
