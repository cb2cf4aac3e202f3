// Runs tests on a pool of server processes: one test per server at a time, tests handed out
// by table position, crashed and timed-out servers replaced, every wait bounded.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "orphans.hpp"
#include "test_run.hpp"
#include "worker.hpp"

namespace vorn::run {

struct RunCallbacks {
    std::function<void(std::size_t index)> started;
    std::function<void(TestRun run)> finished;
    std::function<void(std::string_view text)> stray_output;
};

class ServerPool {
public:
    // `orphans` ends what a server left behind once the server has ended.
    ServerPool(std::string executable, std::chrono::nanoseconds timeout, const OrphanReaper& orphans);
    ServerPool(const ServerPool&) = delete;
    ServerPool& operator=(const ServerPool&) = delete;
    ~ServerPool();

    // Starts the first server, waits for its version string and asks it for the test names.
    std::vector<std::string> queryTestNames();
    const std::string& serverVersion() const { return version_; }

    // Runs the tests at `indices` (table positions) on up to `jobs` servers.
    void run(const std::vector<std::size_t>& indices, unsigned jobs, const RunCallbacks& callbacks);

    // Asks every server to exit and waits (bounded) for them to end.
    void shutdown();

    // A file descriptor that becomes readable when vorn-run is asked to stop (SIGINT,
    // SIGTERM, SIGHUP); polled beside the servers. -1 for none.
    void setInterruptFd(int fd) { interrupt_fd_ = fd; }

private:
    Worker& startServer();
    void pollOnce();
    void forwardStray(const RunCallbacks* callbacks);
    std::vector<pid_t> runningServers() const;

    std::string executable_;
    std::chrono::nanoseconds timeout_;
    const OrphanReaper* orphans_;
    std::vector<std::unique_ptr<Worker>> workers_;
    std::string version_;
    int interrupt_fd_ = -1;
};

// Thrown out of the pool when vorn-run is asked to stop; carries the signal.
struct Interrupted {
    int signal_number;
};

// Turns SIGINT, SIGTERM and SIGHUP into a readable descriptor; returns it.
int installInterruptPipe();
// The signal that made the descriptor readable, or 0.
int takeInterruptSignal(int fd);

}  // namespace vorn::run
