// An output file that appears under its name only when it was written completely: a
// regular file (or a new one) is written as "<name>.part", which replaces "<name>" when
// published; a FIFO or character device is written directly (see output_target.hpp). Every
// write and the close are checked. A file never published has its temporary file removed,
// also when a signal ends the program (see interrupt_cleanup.hpp), so an earlier file of
// that name stays as it was.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "descriptor_buffer.hpp"
#include "interrupt_cleanup.hpp"
#include "output_target.hpp"

namespace orbits {

class OutputFile {
public:
    // The path is looked at by open().
    explicit OutputFile(std::string path);
    // A target located beforehand, for instance to compare it with the other outputs first.
    explicit OutputFile(OutputTarget target);
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    // False with `error` filled in when the file could not be created or opened.
    bool open(std::string& error);
    std::ostream& stream() { return stream_; }
    // False with `error` filled in once a write has failed, so a run can stop early.
    bool healthy(std::string& error) const;
    // Flushes and closes; false with `error` filled in when any write or the close failed.
    bool complete(std::string& error);
    // Renames a completed temporary file into place (nothing to do for a file written
    // directly); false with `error` filled in on failure.
    bool publish(std::string& error);
    // complete() then publish().
    bool commit(std::string& error) { return complete(error) && publish(error); }

private:
    bool openPart(const OutputTarget& target, std::string& error);
    bool openDirect(const OutputTarget& target, std::string& error);
    std::string writeError(int error_number) const;

    std::string path_;
    std::optional<OutputTarget> target_;
    TemporaryFileRegistration registration_;
    DescriptorBuffer buffer_;
    std::ostream stream_;
    int fd_ = -1;
    bool part_created_ = false;
    bool completed_ = false;
};

}  // namespace orbits
