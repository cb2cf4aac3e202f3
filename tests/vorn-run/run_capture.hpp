// Runs a program to its end for a test: standard output and error captured, extra
// environment variables set, and a hard limit after which it is killed and the test fails
// instead of hanging.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace vorn::run_tests {

struct Captured {
    int exit_code = -1;   // when it exited
    int term_signal = 0;  // when a signal ended it
    bool killed_at_limit = false;
    std::string out;
    std::string err;
    std::chrono::milliseconds elapsed{};
};

Captured runCaptured(const std::vector<std::string>& argv, const std::vector<std::string>& extra_env = {},
                     std::chrono::milliseconds limit = std::chrono::seconds(60));

// Runs a program with its standard error on a pseudo-terminal (standard output discarded) and
// returns what it drew there.
Captured runOnTerminal(const std::vector<std::string>& argv,
                       std::chrono::milliseconds limit = std::chrono::seconds(60));

std::vector<std::string> splitLines(const std::string& text);

// A fresh path under the system's temporary directory.
std::string temporaryPath(const std::string& stem);

}  // namespace vorn::run_tests
