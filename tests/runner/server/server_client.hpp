// A minimal parent for server mode: starts a runner with --listen=- on pipes, sends messages,
// reads frames and collects standard error, then waits for the exit. Every wait ends at an
// event (a frame, the exit); its bound is generous and there only so that a hang fails the
// test instead of stopping it.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "server_frames.hpp"

namespace vorn::server_test {

struct ChildEnd {
    bool finished = false;  // false: still running at the bound (then killed)
    bool exited = false;    // exited normally (else ended by `signal`)
    int status = -1;
    int signal = 0;
};

// unreadable: a directory, so every read fails. nonblocking_pipe: the child's end has
// O_NONBLOCK set, as a parent sharing its own pipe may have left it.
enum class StdinKind { pipe, nonblocking_pipe, unreadable };
enum class InputAtFinish { close, keep_open };  // keep_open: the runner must stop on its own
// closed_pipe: the parent has closed its end. nonblocking_pipe: standard output and standard
// error both, non-blocking and holding only 4096 bytes each.
enum class StdoutKind { pipe, nonblocking_pipe, closed_pipe };
// What the runner is blocked on: input (none is unread) or output (input is there unread).
enum class Blocked { on_input, on_output };

// How long a wait may last before the runner counts as hung; only a hang ever reaches it.
inline constexpr std::chrono::seconds hang_bound{60};

class ServerClient {
public:
    explicit ServerClient(const std::string& program, StdinKind stdin_kind = StdinKind::pipe,
                          StdoutKind stdout_kind = StdoutKind::pipe);
    ~ServerClient();
    ServerClient(const ServerClient&) = delete;
    ServerClient& operator=(const ServerClient&) = delete;

    bool send(const Bytes& bytes) const;
    // The next whole frame, or nullopt when the output ended or none arrived within `bound`.
    std::optional<Frame> nextFrame(std::chrono::milliseconds bound = hang_bound);
    void closeInput();
    // Closes the input (unless told to keep it open), drains both outputs and waits for the
    // process, killing it when it has not ended within `bound`.
    ChildEnd finish(InputAtFinish input = InputAtFinish::close, std::chrono::milliseconds bound = hang_bound);
    // Waits until the runner sleeps blocked as `what` says, or has ended: true then, false when
    // that did not happen within `bound`. Reads neither output.
    bool waitUntilBlocked(Blocked what, std::chrono::milliseconds bound = hang_bound) const;

    // Output that arrived but was not taken as a frame (must stay empty or whole frames).
    const Bytes& pendingStdout() const { return stdout_; }
    const std::string& stderrText() const { return stderr_; }

private:
    // Reads whatever is ready on stdout and stderr, waiting at most until `deadline`.
    // Returns false once both are at their end.
    bool pump(std::chrono::steady_clock::time_point deadline);

    pid_t pid_ = -1;
    int to_child_ = -1;
    int from_stdout_ = -1;
    int from_stderr_ = -1;
    Bytes stdout_;
    std::string stderr_;
    std::optional<ChildEnd> end_;
};

}  // namespace vorn::server_test
