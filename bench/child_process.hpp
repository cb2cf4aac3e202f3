// A child process joined to this one by two pipes (its standard input and output), for
// round-trip measurements; and a spawn-and-wait of a whole program, for start-up costs. Both
// over the project's process helper.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "process/child_process.hpp"

namespace vorn::bench {

class PipedChild {
public:
    // Starts `path` with `args`; its standard error goes to /dev/null.
    PipedChild(const std::string& path, const std::vector<std::string>& args);
    PipedChild(const PipedChild&) = delete;
    PipedChild& operator=(const PipedChild&) = delete;
    // Closes the child's input and waits for it to end.
    ~PipedChild() { (void)finish(); }

    bool started() const { return child_.has_value(); }
    bool writeAll(const void* bytes, std::size_t size) const;
    bool readExactly(void* out, std::size_t size) const;
    // Closes the child's input, waits for its end and returns its exit status (or -1).
    int finish();

private:
    std::optional<vorn::process::ChildProcess> child_;
};

// Runs `path` with no arguments, standard error appended to `stderr_path`, and waits; returns
// its exit status, or -1 when it could not be started or did not exit normally.
int runToCompletion(const std::string& path, const std::string& stderr_path);

}  // namespace vorn::bench
