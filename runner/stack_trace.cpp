#include "stack_trace.hpp"

#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string_view>

#include "text.hpp"

#ifdef VORN_LIBBACKTRACE_HEADER
#include VORN_LIBBACKTRACE_HEADER
#endif

namespace vorn::runner::detail {
namespace {

struct FreeDeleter {
    void operator()(char* p) const { std::free(p); }
};

void appendDemangled(std::string& out, const char* name) {
    int status = -1;
    std::unique_ptr<char, FreeDeleter> demangled(abi::__cxa_demangle(name, nullptr, nullptr, &status));
    out += (status == 0 && demangled) ? demangled.get() : name;
}

void appendFramePrefix(std::string& out, std::size_t index, std::uintptr_t pc) {
    out += "    #";
    appendDecimal(out, index);
    out += " 0x";
    appendHex(out, pc);
    out += " in ";
}

// Symbol and module from the dynamic symbol table: always available, no file:line.
void appendFromDladdr(std::string& out, std::size_t index, std::uintptr_t pc) {
    appendFramePrefix(out, index, pc);
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(pc - 1), &info) == 0) {
        out += "??\n";
        return;
    }
    if (info.dli_sname != nullptr) {
        appendDemangled(out, info.dli_sname);
        out += "+0x";
        appendHex(out, pc - reinterpret_cast<std::uintptr_t>(info.dli_saddr));
    } else {
        out += "??";
    }
    if (info.dli_fname != nullptr) {
        out += " (";
        out += info.dli_fname;
        out += "+0x";
        appendHex(out, pc - reinterpret_cast<std::uintptr_t>(info.dli_fbase));
        out += ')';
    }
    out += '\n';
}

#ifdef VORN_LIBBACKTRACE_HEADER

void ignoreError(void*, const char*, int) {}

backtrace_state* debugInfo() {
    static std::once_flag once;
    static backtrace_state* state = nullptr;
    std::call_once(once, [] { state = backtrace_create_state(nullptr, 1, ignoreError, nullptr); });
    return state;
}

struct PcInfo {
    std::string* out;
    std::size_t index;
    std::uintptr_t pc;
    bool found;
};

int appendPcInfo(void* data, std::uintptr_t, const char* file, int line, const char* function) {
    auto& info = *static_cast<PcInfo*>(data);
    if (file == nullptr || function == nullptr) return 0;
    std::string& out = *info.out;
    appendFramePrefix(out, info.index, info.pc);
    appendDemangled(out, function);
    out += " at ";
    out += file;
    out += ':';
    appendDecimal(out, static_cast<std::uint64_t>(line));
    out += '\n';
    info.found = true;
    return 0;
}

// Debug information for file:line, inlined calls included; false when there is none.
bool appendFromDebugInfo(std::string& out, std::size_t index, std::uintptr_t pc) {
    backtrace_state* state = debugInfo();
    if (state == nullptr) return false;
    PcInfo info{&out, index, pc, false};
    // A return address points after the call: look up the call instruction itself.
    backtrace_pcinfo(state, pc - 1, appendPcInfo, ignoreError, &info);
    return info.found;
}

#else

bool appendFromDebugInfo(std::string&, std::size_t, std::uintptr_t) { return false; }

#endif

}  // namespace

[[gnu::noinline]] std::size_t captureStackTrace(std::span<void*> out, std::size_t skip) {
    std::array<void*, 160> frames;
    const int count = backtrace(frames.data(), static_cast<int>(frames.size()));
    const std::size_t total = count > 0 ? static_cast<std::size_t>(count) : 0;
    const std::size_t first = 1 + skip;  // this function's own frame comes first
    std::size_t stored = 0;
    for (std::size_t i = first; i < total && stored < out.size(); ++i) out[stored++] = frames[i];
    return stored;
}

void appendStackTrace(std::string& out, std::span<void* const> frames) {
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const auto pc = reinterpret_cast<std::uintptr_t>(frames[i]);
        if (pc == 0) continue;
        if (!appendFromDebugInfo(out, i, pc)) appendFromDladdr(out, i, pc);
    }
}

void prewarmBacktrace() {
    void* frame = nullptr;
    backtrace(&frame, 1);
}

}  // namespace vorn::runner::detail
