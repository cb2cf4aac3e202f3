#include "output_target.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include "text.hpp"

namespace orbits {

namespace {

constexpr int MAX_LINKS_FOLLOWED = 40;  // as the kernel's own limit for one path

std::string failure(const char* what, const std::string& path, const char* reason) {
    return cat(what, path, ": ", reason);
}

std::string directoryOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string lastComponentOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A name not taken yet, by its directory; false with errno set when the directory is not there.
bool identifyNewName(const std::string& path, FileIdentity& identity) {
    struct stat directory {};
    if (::stat(directoryOf(path).c_str(), &directory) != 0) return false;
    identity = {directory.st_dev, directory.st_ino, lastComponentOf(path)};
    return true;
}

std::optional<std::string> readLink(const std::string& path) {
    std::vector<char> buffer(PATH_MAX);
    for (;;) {
        const ssize_t length = ::readlink(path.c_str(), buffer.data(), buffer.size());
        if (length < 0) return std::nullopt;
        if (static_cast<std::size_t>(length) < buffer.size()) {
            return std::string(buffer.data(), static_cast<std::size_t>(length));
        }
        buffer.resize(buffer.size() * 2);
    }
}

// Follows symbolic links from `path` to the first name that is not one (a link that points
// nowhere leads to the name it would create). nullopt with errno set on failure.
std::optional<std::string> followLinks(std::string path) {
    for (int followed = 0; followed <= MAX_LINKS_FOLLOWED; ++followed) {
        struct stat status {};
        if (::lstat(path.c_str(), &status) != 0) return errno == ENOENT ? std::optional(path) : std::nullopt;
        if (!S_ISLNK(status.st_mode)) return path;
        const auto target = readLink(path);
        if (!target) return std::nullopt;
        path = !target->empty() && target->front() == '/' ? *target : cat(directoryOf(path), '/', *target);
    }
    errno = ELOOP;
    return std::nullopt;
}

bool locateExisting(OutputTarget& target, const struct stat& status, std::string& error) {
    target.file = {status.st_dev, status.st_ino, {}};
    if (S_ISFIFO(status.st_mode) || S_ISCHR(status.st_mode)) {
        target.mode = OutputMode::write_through;
        target.fifo = S_ISFIFO(status.st_mode);
        target.open_path = target.path;
        return true;
    }
    if (S_ISDIR(status.st_mode)) {
        error = failure("cannot write ", target.path, std::strerror(EISDIR));
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        error = failure("cannot write ", target.path, "not a regular file, FIFO or character device");
        return false;
    }
    const auto resolved = followLinks(target.path);
    if (!resolved) {
        error = failure("cannot write ", target.path, std::strerror(errno));
        return false;
    }
    if (::access(resolved->c_str(), W_OK) != 0) {
        error = failure("cannot write ", target.path, std::strerror(errno));
        return false;
    }
    target.open_path = *resolved;
    target.permissions = status.st_mode & 07777;
    return true;
}

bool locateNew(OutputTarget& target, std::string& error) {
    const auto resolved = followLinks(target.path);
    if (!resolved) {
        error = failure("cannot write ", target.path, std::strerror(errno));
        return false;
    }
    target.open_path = *resolved;
    if (!identifyNewName(target.open_path, target.file)) {
        error = failure("cannot create ", cat(target.open_path, ".part"), std::strerror(errno));
        return false;
    }
    return true;
}

// The temporary file may be left over from a run that was killed; anything but a regular
// file under that name is not ours to replace.
bool locatePart(OutputTarget& target, std::string& error) {
    target.part_path = cat(target.open_path, ".part");
    struct stat status {};
    if (::lstat(target.part_path.c_str(), &status) == 0) {
        if (!S_ISREG(status.st_mode)) {
            error = failure("cannot create ", target.part_path, "it exists and is not a regular file");
            return false;
        }
        target.part = FileIdentity{status.st_dev, status.st_ino, {}};
        return true;
    }
    FileIdentity identity;
    if (errno != ENOENT || !identifyNewName(target.part_path, identity)) {
        error = failure("cannot create ", target.part_path, std::strerror(errno));
        return false;
    }
    target.part = identity;
    return true;
}

}  // namespace

std::optional<OutputTarget> locateOutput(const std::string& path, std::string& error) {
    OutputTarget target;
    target.path = path;
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0) {
        if (!locateExisting(target, status, error)) return std::nullopt;
    } else if (errno == ENOENT) {
        if (!locateNew(target, error)) return std::nullopt;
    } else {
        error = failure("cannot write ", path, std::strerror(errno));
        return std::nullopt;
    }
    if (target.mode == OutputMode::replace && !locatePart(target, error)) return std::nullopt;
    return target;
}

std::optional<std::string> conflictBetween(const OutputTarget& a, std::string_view a_name,
                                           const OutputTarget& b, std::string_view b_name) {
    const auto quoted = [](const std::string& text) { return cat('\'', text, '\''); };
    if (a.file == b.file) {
        return cat(a_name, " and ", b_name, " name the same file (", quoted(a.path), " and ", quoted(b.path),
                   ")");
    }
    if (a.part && *a.part == b.file) {
        return cat(b_name, ' ', quoted(b.path), " names the temporary file of ", a_name, ' ', quoted(a.path));
    }
    if (b.part && *b.part == a.file) {
        return cat(a_name, ' ', quoted(a.path), " names the temporary file of ", b_name, ' ', quoted(b.path));
    }
    return std::nullopt;
}

}  // namespace orbits
