#include "child_process.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "process/child_process.hpp"

namespace vorn::runner_tests {
namespace {

class TempFile {
public:
    TempFile() {
        char name[] = "/tmp/vorn_runner_test_XXXXXX";
        const int fd = ::mkstemp(name);
        if (fd < 0) throw std::runtime_error("mkstemp failed");
        ::close(fd);
        path_ = name;
    }
    ~TempFile() { ::unlink(path_.c_str()); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::string& path() const { return path_; }
    std::string read() const {
        std::ifstream in(path_, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

private:
    std::string path_;
};

ChildResult spawnAndWait(const std::vector<std::string>& command,
                         const std::vector<std::string>& extra_environment, ChildStreams streams = {}) {
    using vorn::process::Stream;
    TempFile out;
    TempFile err;
    int broken_pipe[2] = {-1, -1};
    if (streams.stderr_to_closed_pipe) {
        if (::pipe2(broken_pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
        ::close(broken_pipe[0]);
    }
    vorn::process::Command spawn;
    spawn.argv = command;
    spawn.extra_environment = extra_environment;
    spawn.in = Stream::devNull();
    spawn.out = streams.close_stdout ? Stream::closed() : Stream::file(out.path(), O_WRONLY | O_TRUNC);
    spawn.err = streams.stderr_to_closed_pipe ? Stream::duplicateOf(broken_pipe[1])
                                              : Stream::file(err.path(), O_WRONLY | O_TRUNC);
    std::optional<vorn::process::ChildProcess> child;
    try {
        child.emplace(vorn::process::ChildProcess::start(spawn));
    } catch (...) {
        if (broken_pipe[1] >= 0) ::close(broken_pipe[1]);
        throw;
    }
    if (broken_pipe[1] >= 0) ::close(broken_pipe[1]);

    const int status = child->wait();
    ChildResult result;
    result.exit_status = vorn::process::exitCode(status);
    result.signal = vorn::process::terminatingSignal(status);
    result.out = out.read();
    result.err = err.read();
    return result;
}

std::string shellQuoted(const std::string& word) {
    std::string quoted = "'";
    for (const char c : word) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

}  // namespace

ChildResult runChild(const std::string& program, const std::string& fixture,
                     const std::vector<std::string>& arguments, ChildStreams streams) {
    std::vector<std::string> command{program};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return spawnAndWait(command, {"VORN_FIXTURE=" + fixture}, streams);
}

std::optional<ChildResult> runChildOnTerminal(const std::string& program, const std::string& fixture) {
    struct stat info {};
    if (::stat("/usr/bin/script", &info) != 0) return std::nullopt;
    // -e: script's status is the child's; -q: no banner; the typescript goes nowhere.
    const std::string inner = "env VORN_FIXTURE=" + shellQuoted(fixture) + " " + shellQuoted(program);
    return spawnAndWait({"/usr/bin/script", "-qec", inner, "/dev/null"}, {});
}

std::string fixturePath() { return VORN_RUNNER_FIXTURE_PATH; }

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace vorn::runner_tests
