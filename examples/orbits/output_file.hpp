// An output file that appears under its name only when it was written completely: the
// text goes to "<name>.part", which replaces "<name>" on commit. A file never committed
// is removed, so a failed run leaves any earlier file of that name as it was.
#pragma once

#include <fstream>
#include <string>

namespace orbits {

class OutputFile {
public:
    explicit OutputFile(std::string path);
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    // False with `error` filled in when the file could not be created.
    bool open(std::string& error);
    std::ostream& stream() { return stream_; }
    // Flushes, closes and renames; false with `error` filled in on any failure.
    bool commit(std::string& error);

private:
    std::string path_;
    std::string part_path_;
    std::ofstream stream_;
    bool committed_ = false;
};

}  // namespace orbits
