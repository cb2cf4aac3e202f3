// Where an output file name leads, found out before anything is written. A regular file, or
// a name not taken yet, is replaced as a whole: the text goes to "<file>.part", renamed over
// "<file>" once complete. A FIFO or character device (/dev/null, a terminal) is written
// directly. Symbolic links are followed, so a link keeps pointing at the file it names.
// Directories, sockets and block devices are refused.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

namespace orbits {

// A name in the file system: an existing file by its device and inode, a name not taken
// yet by its directory's device and inode and its last component.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    std::string new_name;  // empty for an existing file
    bool operator==(const FileIdentity&) const = default;
};

enum class OutputMode { replace, write_through };

struct OutputTarget {
    std::string path;       // as the user gave it
    std::string open_path;  // what is opened or replaced: `path` with symbolic links followed
    std::string part_path;  // the temporary file, when replacing
    OutputMode mode = OutputMode::replace;
    bool fifo = false;                  // written through, and a FIFO
    std::optional<mode_t> permissions;  // of the regular file being replaced
    FileIdentity file;
    std::optional<FileIdentity> part;  // when replacing
};

// How `path` is written; nullopt with `error` set when it cannot be.
std::optional<OutputTarget> locateOutput(const std::string& path, std::string& error);

// Why two outputs cannot both be written (the same file by identity, or one named as the
// other's temporary file), or nothing when they can. The names say which option gave each.
std::optional<std::string> conflictBetween(const OutputTarget& a, std::string_view a_name,
                                           const OutputTarget& b, std::string_view b_name);

}  // namespace orbits
