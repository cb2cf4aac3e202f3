#include "output_file.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "text.hpp"

namespace orbits {

OutputFile::OutputFile(std::string path) : path_(std::move(path)), part_path_(cat(path_, ".part")) {}

OutputFile::~OutputFile() {
    if (committed_) return;
    if (stream_.is_open()) stream_.close();
    std::remove(part_path_.c_str());
}

bool OutputFile::open(std::string& error) {
    errno = 0;
    stream_.open(part_path_, std::ios::out | std::ios::trunc | std::ios::binary);
    if (!stream_) {
        error =
            cat("cannot create ", part_path_, errno != 0 ? ": " : "", errno != 0 ? std::strerror(errno) : "");
        return false;
    }
    return true;
}

bool OutputFile::commit(std::string& error) {
    errno = 0;
    stream_.flush();
    stream_.close();
    if (!stream_) {
        error =
            cat("cannot write ", part_path_, errno != 0 ? ": " : "", errno != 0 ? std::strerror(errno) : "");
        return false;
    }
    if (std::rename(part_path_.c_str(), path_.c_str()) != 0) {
        error = cat("cannot rename ", part_path_, " to ", path_, ": ", std::strerror(errno));
        return false;
    }
    committed_ = true;
    return true;
}

}  // namespace orbits
