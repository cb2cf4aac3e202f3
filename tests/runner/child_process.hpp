// Running a runner executable as a child process (through the project's process helper), its
// output captured, the way a user runs it.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vorn::runner_tests {

struct ChildResult {
    std::optional<int> exit_status;  // set when the child exited
    std::optional<int> signal;       // set when a signal ended it
    std::string out;                 // standard output
    std::string err;                 // standard error
};

// How the child's standard streams deviate from the usual files.
struct ChildStreams {
    bool close_stdout = false;           // standard output not open at all
    bool stderr_to_closed_pipe = false;  // standard error a pipe nobody reads (err stays empty)
};

// Runs `program` with `arguments` (after the program name) and VORN_FIXTURE=`fixture` added to
// the environment; standard input is /dev/null, standard output and error go to files.
ChildResult runChild(const std::string& program, const std::string& fixture,
                     const std::vector<std::string>& arguments = {}, ChildStreams streams = {});

// Runs the same under a pseudo-terminal (script(1)): what the terminal showed, as bytes.
// Empty when script(1) is not installed.
std::optional<ChildResult> runChildOnTerminal(const std::string& program, const std::string& fixture);

// The fixture runner built beside these tests.
std::string fixturePath();

// Splits on '\n', dropping the empty piece after a final line end.
std::vector<std::string> splitLines(const std::string& text);

}  // namespace vorn::runner_tests
