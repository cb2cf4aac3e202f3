#include "worker.hpp"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "concat.hpp"
#include "errors.hpp"
#include "options.hpp"
#include "protocol.hpp"
#include "signal_names.hpp"

namespace vorn::run {
namespace {

// After a server's output closes, it is asked to exit or it is killed, how long it and whatever
// holds its pipes may take to end before vorn-run stops waiting for them.
constexpr std::chrono::milliseconds ending_grace{2000};
// While a server that has ended still has a pipe open, how often vorn-run looks again (and
// ends whatever it left behind).
constexpr std::chrono::milliseconds reap_interval{5};
// Where the system gives no descriptor for a server's end, how often vorn-run looks for it.
constexpr std::chrono::milliseconds exit_check_interval{50};
constexpr std::size_t max_test_output = std::size_t{256} * 1024;
constexpr std::size_t max_stray_output = std::size_t{64} * 1024;
constexpr std::size_t read_chunk = std::size_t{64} * 1024;
constexpr std::string_view stopped_after_closing = "closed its output and was stopped by vorn-run";

// Reads `fd` up to `max_reads` times, until nothing is there now, handing each piece to
// `consume`; false at the end of the stream (or a broken pipe, which reads like it).
template <class Consume>
bool readPipe(int fd, int max_reads, Consume&& consume) {
    std::array<char, read_chunk> buffer;
    for (int reads = 0; reads < max_reads && fd >= 0; ++reads) {
        ssize_t got = 0;
        do {
            got = ::read(fd, buffer.data(), buffer.size());
        } while (got < 0 && errno == EINTR);
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
        if (got <= 0) return false;
        consume(std::string_view(buffer.data(), static_cast<std::size_t>(got)));
    }
    return true;
}

std::string firstLine(const std::string& text) {
    std::string line = text.substr(0, text.find('\n'));
    if (line.size() > 200) line = line.substr(0, 200) + "...";
    return line;
}

}  // namespace

Worker::Worker(vorn::process::ChildProcess process, std::chrono::nanoseconds timeout, Clock::time_point now)
    : process_(std::move(process)), timeout_(timeout), deadline_(now + timeout), output_(max_test_output) {}

void Worker::requestMetadata(Clock::time_point now) {
    state_ = State::awaiting_metadata;
    deadline_ = now + timeout_;
    send(encodeQueryTestMetadata());
}

void Worker::startTest(std::uint32_t index, Clock::time_point now) {
    state_ = State::running;
    running_index_ = index;
    test_started_ = now;
    deadline_ = now + timeout_;
    output_.take();
    send(encodeRunTest(index));
}

void Worker::requestExit(Clock::time_point now) {
    if (state_ == State::ending || state_ == State::ended) return;
    send(encodeExit());
    beginEnding(EndCause::exit_requested, now);
}

void Worker::send(const std::vector<std::byte>& message) {
    std::size_t written = 0;
    while (written < message.size() && process_.stdinFd() >= 0) {
        const ssize_t n = ::write(process_.stdinFd(), message.data() + written, message.size() - written);
        if (n > 0) {
            written += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EPIPE) {
            // The server is gone; its end shows up on its output and is reported there.
            process_.closeStdin();
            return;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // Requests are a few bytes and each waits for the previous answer, so a full pipe
            // means the server stopped reading.
            throw ProtocolError("stopped reading its input");
        } else {
            throw ProtocolError(concat({"cannot be written to: ", std::strerror(errno)}));
        }
    }
}

void Worker::addPollFds(std::vector<pollfd>& fds) const {
    if (process_.stdoutFd() >= 0) fds.push_back({process_.stdoutFd(), POLLIN, 0});
    if (process_.stderrFd() >= 0) fds.push_back({process_.stderrFd(), POLLIN, 0});
    // Readable once the server has ended; onTick then reaps it.
    if (process_.exitFd() >= 0) fds.push_back({process_.exitFd(), POLLIN, 0});
}

void Worker::onPoll(const pollfd& fd, Clock::time_point now) {
    if (fd.revents == 0) return;
    if (fd.fd == process_.stderrFd()) {
        readStderr(Amount::one_read);
    } else if (fd.fd == process_.stdoutFd()) {
        readStdout(Amount::one_read, now);
    }
}

void Worker::readStdout(Amount amount, Clock::time_point now) {
    const bool open = readPipe(process_.stdoutFd(), readsFor(amount), [&](std::string_view piece) {
        // A server being shut down has nothing left to say.
        if (state_ == State::ending) return;
        reader_.append(std::as_bytes(std::span(piece.data(), piece.size())));
        handleFrames(now);
    });
    // The end of the output ends the server's turn in onTick, once something is asked of it.
    if (!open) process_.closeStdout();
}

void Worker::handleFrames(Clock::time_point now) {
    switch (state_) {
        case State::starting: {
            std::optional<Frame> frame;
            try {
                frame = reader_.next(expectVersion());
            } catch (const ProtocolError& error) {
                handshakeFailed(error.what());
            }
            if (frame) {
                version_.assign(reinterpret_cast<const char*>(frame->body.data()), frame->body.size());
                state_ = State::idle;
            }
            break;
        }
        case State::awaiting_metadata:
            if (auto frame = reader_.next(expectMetadata())) {
                metadata_ = decodeTestMetadata(frame->body);
                state_ = State::idle;
            }
            break;
        case State::running:
            if (auto frame = reader_.next(expectResults())) {
                const TestResultsBody results = decodeTestResults(frame->body);
                if (results.index != running_index_) {
                    throw ProtocolError(
                        concat({"answered run_test ", std::to_string(running_index_),
                                " with the results of test ", std::to_string(results.index)}));
                }
                // The server wrote everything for this test to standard error before it wrote
                // the results, so all of it is in the pipe by now.
                readStderr(Amount::all);
                TestRun run;
                run.index = running_index_;
                const std::uint32_t flags = results.flags;
                run.outcome = (flags & vorn::protocol::flag_fail) != 0   ? Outcome::failed
                              : (flags & vorn::protocol::flag_skip) != 0 ? Outcome::skipped
                                                                         : Outcome::passed;
                run.leaked = (flags & vorn::protocol::flag_leak) != 0;
                run.log_err_count = flags >> vorn::protocol::log_err_count_shift;
                run.output = output_.take();
                run.duration = now - test_started_;
                finished_ = std::move(run);
                state_ = State::idle;
            }
            break;
        case State::idle:
        case State::ending:
        case State::ended:
            break;
    }
    if (state_ == State::idle && !reader_.empty())
        throw ProtocolError("sent output that no request asked for");
}

void Worker::readStderr(Amount amount) {
    const bool open =
        readPipe(process_.stderrFd(), readsFor(amount), [&](std::string_view piece) { appendOutput(piece); });
    if (!open) process_.closeStderr();
}

void Worker::appendOutput(std::string_view text) {
    const bool for_test =
        state_ == State::running || (state_ == State::ending && state_before_ending_ == State::running);
    if (for_test) {
        output_.append(text);
        return;
    }
    // Text outside any test is rare (start-up banners); keep its beginning.
    const std::size_t room = max_stray_output > stray_.size() ? max_stray_output - stray_.size() : 0;
    stray_.append(text.substr(0, std::min(room, text.size())));
}

void Worker::beginEnding(EndCause cause, Clock::time_point now) {
    state_before_ending_ = state_;
    state_ = State::ending;
    end_cause_ = cause;
    deadline_ = now + ending_grace;
    process_.closeStdin();
    if (cause == EndCause::timed_out) {
        process_.signal(SIGKILL);
        process_.closeStdout();
    }
}

void Worker::onTick(Clock::time_point now) {
    if (state_ == State::ended) return;
    // The server's own end is seen by waiting for it, whatever its pipes do: a process it
    // started that left its group may hold them open for ever.
    if (!serverEnded() && process_.tryWait()) onServerEnded(now);
    // A server that has ended or closed its output answers nothing more: whatever it was asked
    // has failed. One seen so while idle is charged with what it is asked next, as it would be
    // had the news come a moment later.
    const bool gone = serverEnded() || process_.stdoutFd() < 0;
    if (gone && state_ != State::ending && state_ != State::idle) beginEnding(EndCause::died, now);
    if (state_ == State::ending) {
        if (serverEnded() && process_.stderrFd() < 0 && process_.stdoutFd() < 0) {
            finishEnding();
        } else if (now >= deadline_) {
            process_.stop();
            readStderr(Amount::all);
            finishEnding();
        }
        return;
    }
    if (state_ == State::ended || state_ == State::idle || now < deadline_) return;
    switch (state_) {
        case State::starting:
            handshakeFailed(concat({"sent no version string within ", describeTimeout(timeout_)}));
        case State::awaiting_metadata:
            handshakeFailed(
                concat({"did not answer query_test_metadata within ", describeTimeout(timeout_)}));
        case State::running:
            beginEnding(EndCause::timed_out, now);
            break;
        default:
            break;
    }
}

void Worker::onServerEnded(Clock::time_point now) {
    server_just_ended_ = true;
    // Everything the server wrote is in its pipes: its results may still complete the test.
    readStdout(Amount::all, now);
    readStderr(Amount::all);
}

bool Worker::mayHaveLeftProcesses() {
    const bool pipes_held =
        state_ == State::ending && serverEnded() && (process_.stdoutFd() >= 0 || process_.stderrFd() >= 0);
    return std::exchange(server_just_ended_, false) || pipes_held;
}

std::optional<pid_t> Worker::runningServer() const {
    if (serverEnded()) return std::nullopt;
    return process_.pid();
}

void Worker::finishEnding() {
    process_.closeStdout();
    process_.closeStderr();
    state_ = State::ended;
    const int status = process_.waitStatus().value_or(0);
    // A server that closed its output but kept running was killed here, not by a fault of its own.
    const bool stopped_here = end_cause_ == EndCause::died && process_.stoppedByKill() &&
                              WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    const std::string how = stopped_here ? std::string(stopped_after_closing) : describeWaitStatus(status);
    const std::string ended = stopped_here ? how : concat({"ended (", how, ")"});
    switch (state_before_ending_) {
        case State::starting:
            if (end_cause_ != EndCause::exit_requested)
                handshakeFailed(concat({ended, " before sending its version string"}));
            break;
        case State::awaiting_metadata:
            if (end_cause_ != EndCause::exit_requested)
                handshakeFailed(concat({ended, " before answering query_test_metadata"}));
            break;
        case State::running: {
            TestRun run;
            run.index = running_index_;
            run.outcome = end_cause_ == EndCause::timed_out ? Outcome::timed_out : Outcome::crashed;
            run.crash_reason =
                end_cause_ == EndCause::timed_out ? concat({"after ", describeTimeout(timeout_)}) : how;
            run.output = output_.take();
            run.duration = Clock::now() - test_started_;
            finished_ = std::move(run);
            break;
        }
        default:
            break;
    }
}

void Worker::handshakeFailed(const std::string& reason) const {
    std::string message = concat({"does not speak the server protocol: it ", reason});
    if (!stray_.empty()) message += concat({" (its standard error: ", firstLine(stray_), ")"});
    throw ProtocolError(message);
}

std::optional<Clock::time_point> Worker::wakeUpTime() const {
    if (state_ == State::ended) return std::nullopt;
    std::optional<Clock::time_point> wake;
    if (state_ != State::idle) wake = deadline_;
    if (serverEnded() || process_.exitFd() < 0) {
        const auto soon = Clock::now() + (serverEnded() ? reap_interval : exit_check_interval);
        wake = wake ? std::min(*wake, soon) : soon;
    }
    return wake;
}

std::optional<std::vector<std::string>> Worker::takeMetadata() {
    return std::exchange(metadata_, std::nullopt);
}
std::optional<TestRun> Worker::takeFinished() { return std::exchange(finished_, std::nullopt); }
std::string Worker::takeStrayOutput() { return std::exchange(stray_, std::string()); }

}  // namespace vorn::run
