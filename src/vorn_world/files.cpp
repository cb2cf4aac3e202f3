// Reading, replacing and appending to files with POSIX calls, so that new contents reach the disk
// (fsync) before they take the place of the old.
#include "vorn_world/files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>
#include <string>
#include <system_error>

namespace vorn_world::detail {

namespace {

[[noreturn]] void fail(const std::string& what, const std::filesystem::path& path, int error = errno) {
    throw std::filesystem::filesystem_error("vorn_world: " + what, path,
                                            std::error_code(error, std::generic_category()));
}

// A file descriptor closed when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    // Closes it now, reporting the error a close may be the first to see.
    int close() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result;
    }

private:
    int fd_;
};

Descriptor openOrFail(const std::filesystem::path& path, int flags, const char* what) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
    if (fd < 0) fail(what, path);
    return Descriptor(fd);
}

// Writes all of `bytes`; false with errno set when the file refuses them.
bool writeAll(int fd, std::span<const std::byte> bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return true;
}

std::uint64_t sizeOf(int fd, const std::filesystem::path& path) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) fail("cannot read the size of the file", path);
    return static_cast<std::uint64_t>(info.st_size);
}

std::vector<std::byte> readAt(int fd, const std::filesystem::path& path, std::uint64_t offset,
                              std::size_t count) {
    std::vector<std::byte> bytes(count);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = ::pread(fd, bytes.data() + done, count - done, static_cast<off_t>(offset + done));
        if (got < 0) {
            if (errno == EINTR) continue;
            fail("cannot read the file", path);
        }
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    bytes.resize(done);
    return bytes;
}

}  // namespace

std::vector<std::byte> readFile(const std::filesystem::path& path) {
    const Descriptor file = openOrFail(path, O_RDONLY, "cannot open the file to read it");
    return readAt(file.get(), path, 0, static_cast<std::size_t>(sizeOf(file.get(), path)));
}

std::vector<std::byte> readFilePart(const std::filesystem::path& path, std::uint64_t offset,
                                    std::size_t count) {
    const Descriptor file = openOrFail(path, O_RDONLY, "cannot open the file to read it");
    return readAt(file.get(), path, offset, count);
}

void replaceFile(const std::filesystem::path& path, std::span<const std::byte> bytes) {
    std::random_device entropy;
    std::filesystem::path temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 16; ++attempt) {
        temporary = path;
        temporary += ".tmp-" + std::to_string(entropy());
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) fail("cannot create a temporary file beside the file", path);
    }
    if (fd < 0) fail("cannot create a temporary file beside the file", path, EEXIST);
    Descriptor file(fd);
    const auto give_up = [&](const char* what) {
        const int error = errno;
        if (file.get() >= 0) file.close();
        ::unlink(temporary.c_str());
        fail(what, path, error);
    };
    if (!writeAll(file.get(), bytes)) give_up("cannot write the new contents");
    if (::fsync(file.get()) != 0) give_up("cannot flush the new contents to the disk");
    if (file.close() != 0) give_up("cannot close the new contents");
    if (::rename(temporary.c_str(), path.c_str()) != 0) give_up("cannot put the new contents in place");
}

void appendToFile(const std::filesystem::path& path, std::uint64_t expected_size,
                  std::span<const std::byte> bytes) {
    Descriptor file = openOrFail(path, O_WRONLY | O_CREAT | O_APPEND, "cannot open the file to append to it");
    if (sizeOf(file.get(), path) != expected_size)
        fail("the file changed since it was read (another writer?); open it again", path, EBUSY);
    if (!writeAll(file.get(), bytes) || ::fsync(file.get()) != 0) {
        const int error = errno;
        if (::ftruncate(file.get(), static_cast<off_t>(expected_size)) != 0) {
            fail("cannot append to the file, nor cut it back to its old length", path, error);
        }
        fail("cannot append to the file (it is as it was)", path, error);
    }
    if (file.close() != 0) fail("cannot close the file after appending to it", path);
}

}  // namespace vorn_world::detail
