#include "orphans.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <algorithm>
#include <array>
#include <charconv>
#include <string>
#include <string_view>
#include <thread>

namespace vorn::run {
namespace {

constexpr std::chrono::milliseconds sweep_interval{2};

// The parent's process ID from /proc/PID/stat, or -1 when the process is gone.
pid_t parentOf(std::string_view pid) {
    const std::string path = "/proc/" + std::string(pid) + "/stat";
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    std::array<char, 512> buffer{};
    const ssize_t got = ::read(fd, buffer.data(), buffer.size());
    ::close(fd);
    if (got <= 0) return -1;
    // "PID (NAME) STATE PPID ...": the name may hold anything, so look after its last ')'.
    const std::string_view text(buffer.data(), static_cast<std::size_t>(got));
    const std::size_t paren = text.rfind(')');
    if (paren == std::string_view::npos || paren + 4 >= text.size()) return -1;
    const std::string_view rest = text.substr(paren + 4);
    pid_t parent = -1;
    std::from_chars(rest.data(), rest.data() + rest.size(), parent);
    return parent;
}

// Kills `pid` and the group it leads, if it leads one.
void killWithGroup(pid_t pid) {
    if (::getpgid(pid) == pid) ::kill(-pid, SIGKILL);
    ::kill(pid, SIGKILL);
}

bool isOneOf(pid_t pid, const std::vector<pid_t>& pids) {
    return std::find(pids.begin(), pids.end(), pid) != pids.end();
}

}  // namespace

std::vector<pid_t> childrenOfThisProcess() {
    std::vector<pid_t> children;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) return children;
    const pid_t self = ::getpid();
    while (const dirent* entry = ::readdir(proc)) {
        const std::string_view name(entry->d_name);
        pid_t pid = 0;
        const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), pid);
        if (error != std::errc() || end != name.data() + name.size()) continue;
        if (parentOf(name) == self) children.push_back(pid);
    }
    ::closedir(proc);
    return children;
}

OrphanReaper::OrphanReaper() : inherited_(childrenOfThisProcess()) {
#ifdef PR_SET_CHILD_SUBREAPER
    ::prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0);
#endif
}

OrphanReaper::~OrphanReaper() { endAll(std::chrono::seconds(5)); }

void OrphanReaper::endAllBut(const std::vector<pid_t>& servers) const {
    for (const pid_t child : childrenOfThisProcess()) {
        if (isOneOf(child, servers) || isOneOf(child, inherited_)) continue;
        killWithGroup(child);
        ::waitpid(child, nullptr, WNOHANG);  // one not yet ended is reaped by a later call
    }
}

void OrphanReaper::endAll(std::chrono::milliseconds limit) const noexcept {
    const auto give_up = std::chrono::steady_clock::now() + limit;
    try {
        // Ending a child makes its own children ours, so repeat until nothing is left.
        for (;;) {
            bool any = false;
            for (const pid_t child : childrenOfThisProcess()) {
                if (isOneOf(child, inherited_)) continue;
                any = true;
                killWithGroup(child);
                ::waitpid(child, nullptr, WNOHANG);
            }
            if (!any || std::chrono::steady_clock::now() >= give_up) return;
            std::this_thread::sleep_for(sweep_interval);
        }
    } catch (...) {
        // Out of memory while listing: whatever is left is adopted and reaped by init.
    }
}

}  // namespace vorn::run
