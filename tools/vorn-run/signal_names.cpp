#include "signal_names.hpp"

#include <sys/wait.h>

#include <csignal>
#include <string_view>
#include <utility>

#include "concat.hpp"

namespace vorn::run {

std::string signalName(int signal_number) {
    static constexpr std::pair<int, std::string_view> names[] = {
        {SIGHUP, "SIGHUP"},   {SIGINT, "SIGINT"},   {SIGQUIT, "SIGQUIT"}, {SIGILL, "SIGILL"},
        {SIGTRAP, "SIGTRAP"}, {SIGABRT, "SIGABRT"}, {SIGBUS, "SIGBUS"},   {SIGFPE, "SIGFPE"},
        {SIGKILL, "SIGKILL"}, {SIGUSR1, "SIGUSR1"}, {SIGSEGV, "SIGSEGV"}, {SIGUSR2, "SIGUSR2"},
        {SIGPIPE, "SIGPIPE"}, {SIGALRM, "SIGALRM"}, {SIGTERM, "SIGTERM"}, {SIGXCPU, "SIGXCPU"},
        {SIGXFSZ, "SIGXFSZ"}, {SIGSYS, "SIGSYS"},
    };
    for (const auto& [number, name] : names) {
        if (number == signal_number) return std::string(name);
    }
    return concat({"signal ", std::to_string(signal_number)});
}

std::string describeWaitStatus(int wait_status) {
    if (WIFSIGNALED(wait_status)) return signalName(WTERMSIG(wait_status));
    if (WIFEXITED(wait_status)) return concat({"exit status ", std::to_string(WEXITSTATUS(wait_status))});
    return concat({"unknown wait status ", std::to_string(wait_status)});
}

}  // namespace vorn::run
