// Calling one test and turning however it ended into an outcome.
#include <cxxabi.h>

#include <array>
#include <cstdlib>
#include <exception>
#include <new>
#include <string>
#include <typeinfo>

#include "process_state.hpp"
#include "runner_internal.hpp"
#include "stack_trace.hpp"

namespace vorn::runner::detail {
namespace {

// "unexpected exception {type}: {what}", with the type's name demangled.
void noteUnexpectedException(ErrorTrace& trace, const char* what) {
    std::string note = "unexpected exception";
    if (const std::type_info* type = abi::__cxa_current_exception_type()) {
        int status = -1;
        char* demangled = abi::__cxa_demangle(type->name(), nullptr, nullptr, &status);
        note += ' ';
        note += (status == 0 && demangled != nullptr) ? demangled : type->name();
        std::free(demangled);
    }
    if (what != nullptr) {
        note += ": ";
        note += what;
    }
    trace.recordNote(note);
}

// Calls the test through a frame of its own that notes where the test returns to in callTest.
// A failing check finds callTest's frame in its trace by that address, which spares walking
// the stack before every test. The empty asm after the call keeps it from being a tail call,
// so this frame always stands between the test and callTest.
[[gnu::noinline]] void callThroughMarker(vorn::testing::TestFunction run, ProcessState& state) {
    state.test_return_address = __builtin_return_address(0);
    run();
    asm volatile("");
}

}  // namespace

[[gnu::noinline]] TestOutcome callTest(const vorn::testing::TestCase& test) {
    ProcessState& state = processState();
    state.error_trace.clear();
    // A table entry left empty has no function to call.
    if (test.run == nullptr) return {TestStatus::failed, "MissingTestFunction"};
    try {
        callThroughMarker(test.run, state);
        return {TestStatus::passed, {}};
    } catch (const vorn::testing::TestSkipped&) {
        return {TestStatus::skipped, {}};
    } catch (const vorn::testing::TestError& error) {
        return {TestStatus::failed, error.name};
    } catch (const std::bad_alloc&) {
        return {TestStatus::failed, "OutOfMemory"};
    } catch (const std::exception& error) {
        noteUnexpectedException(state.error_trace, error.what());
        return {TestStatus::failed, "UnexpectedException"};
    } catch (...) {
        noteUnexpectedException(state.error_trace, nullptr);
        return {TestStatus::failed, "UnexpectedException"};
    }
}

void printErrorTrace() {
    std::string text;
    processState().error_trace.appendTo(text);
    if (text.empty()) return;
    StderrLock lock;
    writeStderr(text);
}

void resetTestAllocator() { processState().test_allocator.reset(); }

bool checkTestAllocatorForLeaks() { return processState().test_allocator.checkForLeaks(); }

}  // namespace vorn::runner::detail
