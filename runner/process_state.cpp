#include "process_state.hpp"

#include <new>

#include "runner_internal.hpp"

namespace vorn::runner::detail {

ProcessState& processState() {
    alignas(ProcessState) static std::byte storage[sizeof(ProcessState)];
    static ProcessState* const state = new (storage) ProcessState();
    return *state;
}

std::span<std::byte, 4096> fixedBuffer() { return processState().fixed_buffer; }

}  // namespace vorn::runner::detail
