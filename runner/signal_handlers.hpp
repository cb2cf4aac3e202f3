// What the process sets up before the runner's entry: the broken-pipe signal made harmless,
// and crash reports for invalid memory access, illegal instructions and bus errors.
#pragma once

namespace vorn::runner::detail {

// Idempotent. Stops with a fatal message when the broken-pipe handler cannot be installed.
void installProcessSignalHandlers();

}  // namespace vorn::runner::detail
