#include "child_process.hpp"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

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
    TempFile out;
    TempFile err;
    int broken_pipe[2] = {-1, -1};
    if (streams.stderr_to_closed_pipe) {
        if (::pipe(broken_pipe) != 0) throw std::runtime_error("pipe failed");
        ::close(broken_pipe[0]);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (streams.close_stdout) {
        posix_spawn_file_actions_addclose(&actions, STDOUT_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.path().c_str(), O_WRONLY | O_TRUNC, 0);
    }
    if (streams.stderr_to_closed_pipe) {
        posix_spawn_file_actions_adddup2(&actions, broken_pipe[1], STDERR_FILENO);
        posix_spawn_file_actions_addclose(&actions, broken_pipe[1]);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.path().c_str(), O_WRONLY | O_TRUNC, 0);
    }

    std::vector<char*> argv;
    argv.reserve(command.size() + 1);
    for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (char** entry = environ; *entry != nullptr; ++entry) envp.push_back(*entry);
    for (const std::string& entry : extra_environment) envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);

    pid_t pid = 0;
    const int spawned = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (broken_pipe[1] >= 0) ::close(broken_pipe[1]);
    if (spawned != 0) throw std::runtime_error("posix_spawn failed for " + command[0]);

    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) throw std::runtime_error("waitpid failed");
    }
    ChildResult result;
    if (WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
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
