// A child process joined to this one by two pipes (its standard input and output), for
// round-trip measurements; and a spawn-and-wait of a whole program, for start-up costs.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

namespace vorn_bench {

class PipedChild {
public:
    // Starts `path` with `args`; its standard error goes to /dev/null.
    PipedChild(const std::string& path, const std::vector<std::string>& args);
    PipedChild(const PipedChild&) = delete;
    PipedChild& operator=(const PipedChild&) = delete;
    // Closes the child's input and waits for it to end.
    ~PipedChild();

    bool started() const { return pid_ > 0; }
    bool writeAll(const void* bytes, std::size_t size) const;
    bool readExactly(void* out, std::size_t size) const;
    // The child's exit status after the destructor's wait would be too late to see; this
    // closes its input, waits and returns the status (or -1).
    int finish();

private:
    pid_t pid_ = -1;
    int to_child_ = -1;
    int from_child_ = -1;
};

// Runs `path` with no arguments, standard error appended to `stderr_path`, and waits; returns
// its exit status, or -1 when it could not be started or did not exit normally.
int runToCompletion(const std::string& path, const std::string& stderr_path);

}  // namespace vorn_bench
