// Readable names for how a child process ended.
#pragma once

#include <string>

namespace vorn::run {

// "SIGSEGV", "SIGABRT", ...; "signal N" for a number without a conventional name.
std::string signalName(int signal_number);

// From a waitpid status: the signal's name, or "exit status N".
std::string describeWaitStatus(int wait_status);

}  // namespace vorn::run
