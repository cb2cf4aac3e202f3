#include "scheduler.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "concat.hpp"
#include "errors.hpp"

namespace vorn::run {
namespace {

// Even with nothing due, the loop looks around this often.
constexpr std::chrono::milliseconds max_poll_wait{1000};

int interrupt_write_fd = -1;

extern "C" void onInterrupt(int signal_number) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signal_number);
    [[maybe_unused]] const ssize_t ignored = ::write(interrupt_write_fd, &byte, 1);
    errno = saved;
}

}  // namespace

int installInterruptPipe() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return -1;
    interrupt_write_fd = fds[1];
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(sig, &action, nullptr);
    return fds[0];
}

int takeInterruptSignal(int fd) {
    unsigned char byte = 0;
    return fd >= 0 && ::read(fd, &byte, 1) == 1 ? byte : 0;
}

ServerPool::ServerPool(std::string executable, std::chrono::nanoseconds timeout, const OrphanReaper& orphans)
    : executable_(std::move(executable)), timeout_(timeout), orphans_(&orphans) {}

ServerPool::~ServerPool() = default;

Worker& ServerPool::startServer() {
    vorn::process::Command command;
    command.argv = {executable_, "--listen=-"};
    command.in = command.out = command.err = vorn::process::Stream::piped();
    // Its own group: a server's helpers end with it, however it ends.
    command.own_process_group = true;
    command.nonblocking_pipes = true;
    try {
        workers_.push_back(
            std::make_unique<Worker>(vorn::process::ChildProcess::start(command), timeout_, Clock::now()));
    } catch (const vorn::process::StartError& error) {
        throw UsageError(error.what());
    }
    return *workers_.back();
}

std::vector<std::string> ServerPool::queryTestNames() {
    Worker& first = workers_.empty() ? startServer() : *workers_.front();
    // A server that ends before its version string makes the worker throw from pollOnce.
    while (first.state() != Worker::State::idle) pollOnce();
    version_ = first.version();
    first.requestMetadata(Clock::now());
    std::optional<std::vector<std::string>> names;
    while (!(names = first.takeMetadata())) {
        pollOnce();
        if (first.state() == Worker::State::ended)
            throw ProtocolError("ended before answering query_test_metadata");
    }
    forwardStray(nullptr);
    return std::move(*names);
}

void ServerPool::run(const std::vector<std::size_t>& indices, unsigned jobs, const RunCallbacks& callbacks) {
    std::size_t next = 0;
    std::size_t done = 0;
    const std::size_t wanted = std::min<std::size_t>(std::max(jobs, 1u), indices.size());
    while (done < indices.size()) {
        // Drop servers that have ended, replace them while tests remain to be handed out.
        std::erase_if(workers_, [](const auto& w) { return w->state() == Worker::State::ended; });
        const auto live =
            static_cast<std::size_t>(std::count_if(workers_.begin(), workers_.end(), [](const auto& w) {
                return w->state() != Worker::State::ending;
            }));
        const std::size_t remaining = indices.size() - next;
        for (std::size_t n = live; n < wanted && n - live < remaining; ++n) startServer();

        const Clock::time_point now = Clock::now();
        for (auto& worker : workers_) {
            if (worker->state() != Worker::State::idle) continue;
            if (next < indices.size()) {
                const std::size_t index = indices[next++];
                worker->startTest(static_cast<std::uint32_t>(index), now);
                if (callbacks.started) callbacks.started(index);
            } else {
                worker->requestExit(now);
            }
        }

        pollOnce();

        for (auto& worker : workers_) {
            if (auto finished = worker->takeFinished()) {
                ++done;
                if (callbacks.finished) callbacks.finished(std::move(*finished));
            }
        }
        forwardStray(&callbacks);
    }
}

void ServerPool::shutdown() {
    const Clock::time_point now = Clock::now();
    for (auto& worker : workers_) worker->requestExit(now);
    while (std::any_of(workers_.begin(), workers_.end(),
                       [](const auto& w) { return w->state() != Worker::State::ended; })) {
        pollOnce();
    }
    forwardStray(nullptr);
    workers_.clear();
}

void ServerPool::forwardStray(const RunCallbacks* callbacks) {
    for (auto& worker : workers_) {
        std::string text = worker->takeStrayOutput();
        if (text.empty()) continue;
        if (callbacks && callbacks->stray_output) {
            callbacks->stray_output(text);
        } else {
            std::fwrite(text.data(), 1, text.size(), stderr);
        }
    }
}

void ServerPool::pollOnce() {
    std::vector<pollfd> fds;
    std::vector<Worker*> owners;
    for (auto& worker : workers_) {
        worker->addPollFds(fds);
        owners.resize(fds.size(), worker.get());
    }
    if (interrupt_fd_ >= 0) fds.push_back({interrupt_fd_, POLLIN, 0});

    Clock::time_point wake = Clock::now() + max_poll_wait;
    for (auto& worker : workers_) {
        if (auto at = worker->wakeUpTime()) wake = std::min(wake, *at);
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(wake - Clock::now());
    const int timeout_ms = static_cast<int>(std::max<std::int64_t>(0, wait.count()));

    const int ready = ::poll(fds.data(), fds.size(), timeout_ms);
    if (ready < 0 && errno != EINTR) throw ProtocolError(concat({"poll failed: ", std::strerror(errno)}));

    const Clock::time_point now = Clock::now();
    if (ready > 0) {
        for (std::size_t i = 0; i < owners.size(); ++i) owners[i]->onPoll(fds[i], now);
        if (interrupt_fd_ >= 0 && fds.back().revents != 0) {
            if (const int sig = takeInterruptSignal(interrupt_fd_)) throw Interrupted{sig};
        }
    }
    bool sweep = false;
    for (auto& worker : workers_) {
        worker->onTick(now);
        sweep = worker->mayHaveLeftProcesses() || sweep;
    }
    if (sweep) orphans_->endAllBut(runningServers());
}

std::vector<pid_t> ServerPool::runningServers() const {
    std::vector<pid_t> pids;
    for (const auto& worker : workers_) {
        if (const auto pid = worker->runningServer()) pids.push_back(*pid);
    }
    return pids;
}

}  // namespace vorn::run
