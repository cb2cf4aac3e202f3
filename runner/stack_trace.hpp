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

// Stores the return addresses of the calling chain in `out`, innermost first, beginning with
// the caller's own frame; returns how many were stored. It walks the stack with the compiler
// runtime's unwinder, linked in rather than loaded on first use as glibc's backtrace() does,
// so it neither allocates nor opens a library and is safe in a signal handler.
std::size_t unwindReturnAddresses(std::span<void*> out);

}  // namespace vorn::runner::detail
