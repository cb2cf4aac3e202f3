// Stack traces: capturing return addresses and rendering them readably (demangled function
// names, and file:line where debug information is at hand).
#pragma once

#include <cstddef>
#include <span>
#include <string>

namespace vorn::runner::detail {

// Fills `out` with the return addresses of the calling chain, innermost first, leaving out
// the caller's own `skip` innermost frames (the capturing function itself is never included).
// Returns how many were stored.
std::size_t captureStackTrace(std::span<void*> out, std::size_t skip);

// Appends one line per frame, innermost first; inlined calls get lines of their own.
void appendStackTrace(std::string& out, std::span<void* const> frames);

// The first backtrace() of a process loads the unwinder, which allocates; doing it once at
// start makes later calls safe in a signal handler.
void prewarmBacktrace();

}  // namespace vorn::runner::detail
