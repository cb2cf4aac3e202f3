// The two ways a run can go wrong before any test result means anything: the command line
// was wrong, or the executable did not behave as a server. Both end vorn-run with status 2.
#pragma once

#include <stdexcept>
#include <string>

namespace vorn::run {

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct ProtocolError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

}  // namespace vorn::run
