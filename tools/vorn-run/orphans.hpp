// Processes that a server started and that left its process group (a new session or group):
// once their parent has ended they become vorn-run's children (it is their reaper, on Linux),
// so vorn-run ends and reaps them instead of leaving them behind.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <vector>

namespace vorn::run {

class OrphanReaper {
public:
    // Makes this process the reaper of its orphaned descendants where the system can. Children
    // it has already (those of a shell that exec'd it) are never touched.
    OrphanReaper();
    OrphanReaper(const OrphanReaper&) = delete;
    OrphanReaper& operator=(const OrphanReaper&) = delete;
    // endAll, for at most a few seconds.
    ~OrphanReaper();

    // Kills every other child but `servers` (with the group it leads, if any) and reaps those
    // that have ended; does not wait.
    void endAllBut(const std::vector<pid_t>& servers) const;
    // Kills and reaps every other child until none is left or `limit` has passed; for when no
    // child is a server any more.
    void endAll(std::chrono::milliseconds limit) const noexcept;

private:
    std::vector<pid_t> inherited_;
};

// This process's children, ended or not, as /proc lists them.
std::vector<pid_t> childrenOfThisProcess();

}  // namespace vorn::run
