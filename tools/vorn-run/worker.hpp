// One server process seen from the parent: which message it owes, until when, and what it
// has written to standard error meanwhile. One test runs at a time per server, so what the
// server writes between a run_test and its test_results belongs to that test.
#pragma once

#include <poll.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "frame_reader.hpp"
#include "output_capture.hpp"
#include "process/child_process.hpp"
#include "test_run.hpp"

namespace vorn::run {

using Clock = std::chrono::steady_clock;

class Worker {
public:
    enum class State { starting, awaiting_metadata, idle, running, ending, ended };

    Worker(vorn::process::ChildProcess process, std::chrono::nanoseconds timeout, Clock::time_point now);

    State state() const { return state_; }
    const std::string& version() const { return version_; }

    void requestMetadata(Clock::time_point now);
    void startTest(std::uint32_t index, Clock::time_point now);
    // Sends exit and closes the server's input; the worker ends once the server has.
    void requestExit(Clock::time_point now);

    // The descriptors to poll, tagged with this worker's number.
    void addPollFds(std::vector<pollfd>& fds) const;
    // Acts on whatever poll reported for this worker's descriptors.
    void onPoll(const pollfd& fd, Clock::time_point now);
    // Deadlines and reaping; call after every poll.
    void onTick(Clock::time_point now);
    // When onTick next needs to run even if no descriptor is ready.
    std::optional<Clock::time_point> wakeUpTime() const;

    std::optional<std::vector<std::string>> takeMetadata();
    std::optional<TestRun> takeFinished();
    // Standard-error text written while no test was running.
    std::string takeStrayOutput();

    // The server's process ID while it has not ended.
    std::optional<pid_t> runningServer() const;
    // Whether processes the server started may have been left to vorn-run: once right after
    // the server ended, and while its pipes stay open after that.
    bool mayHaveLeftProcesses();

private:
    enum class EndCause { died, timed_out, exit_requested };
    // How much of a pipe to read: what one read returns, or everything there is now.
    enum class Amount { one_read, all };
    static int readsFor(Amount amount) { return amount == Amount::all ? max_reads_for_all : 1; }
    // Reading all that a pipe holds stops after this many reads (4 MiB, more than a pipe holds):
    // only a writer that never stops has more, and the loop must come back to its deadlines.
    static constexpr int max_reads_for_all = 64;

    bool serverEnded() const { return process_.waitStatus().has_value(); }
    void readStdout(Amount amount, Clock::time_point now);
    void readStderr(Amount amount);
    void onServerEnded(Clock::time_point now);
    void handleFrames(Clock::time_point now);
    void send(const std::vector<std::byte>& message);
    void beginEnding(EndCause cause, Clock::time_point now);
    void finishEnding();
    void appendOutput(std::string_view text);
    [[noreturn]] void handshakeFailed(const std::string& reason) const;

    vorn::process::ChildProcess process_;
    std::chrono::nanoseconds timeout_;
    State state_ = State::starting;
    State state_before_ending_ = State::starting;
    EndCause end_cause_ = EndCause::died;
    Clock::time_point deadline_;
    FrameReader reader_;
    std::string version_;

    std::uint32_t running_index_ = 0;
    Clock::time_point test_started_;
    OutputCapture output_;
    std::string stray_;

    std::optional<std::vector<std::string>> metadata_;
    std::optional<TestRun> finished_;
    bool server_just_ended_ = false;
};

}  // namespace vorn::run
