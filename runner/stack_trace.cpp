#include "stack_trace.hpp"

#include <cxxabi.h>
#include <dlfcn.h>
#include <unwind.h>

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

struct Symbol {
    const char* name = nullptr;
    std::uintptr_t start = 0;
};

// The full symbol table, which also names functions internal to their file; defined below.
Symbol symbolFromSymbolTable(std::uintptr_t pc);

// Symbol and module from the symbol tables: no file:line, but always at hand.
void appendFromSymbols(std::string& out, std::size_t index, std::uintptr_t pc) {
    appendFramePrefix(out, index, pc);
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(pc - 1), &info) == 0) info = Dl_info{};
    Symbol symbol{info.dli_sname, reinterpret_cast<std::uintptr_t>(info.dli_saddr)};
    if (symbol.name == nullptr) symbol = symbolFromSymbolTable(pc - 1);
    if (symbol.name != nullptr) {
        appendDemangled(out, symbol.name);
        out += "+0x";
        appendHex(out, pc - symbol.start);
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

backtrace_state* debugInfo();

void onSymbol(void* data, std::uintptr_t, const char* name, std::uintptr_t start, std::uintptr_t) {
    auto& symbol = *static_cast<Symbol*>(data);
    symbol.name = name;
    symbol.start = start;
}

Symbol symbolFromSymbolTable(std::uintptr_t pc) {
    Symbol symbol;
    if (backtrace_state* state = debugInfo()) backtrace_syminfo(state, pc, onSymbol, ignoreError, &symbol);
    return symbol;
}

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

Symbol symbolFromSymbolTable(std::uintptr_t) { return {}; }

#endif

}  // namespace

namespace {

struct UnwindCollector {
    std::span<void*> out;
    std::size_t seen = 0;  // frames visited, the unwinding function's own included
    std::size_t stored = 0;
};

_Unwind_Reason_Code collectFrame(_Unwind_Context* context, void* argument) {
    auto& collector = *static_cast<UnwindCollector*>(argument);
    if (collector.seen++ == 0) return _URC_NO_REASON;  // unwindReturnAddresses itself
    if (collector.stored == collector.out.size()) return _URC_END_OF_STACK;
    const _Unwind_Ptr pc = _Unwind_GetIP(context);
    if (pc == 0) return _URC_END_OF_STACK;
    collector.out[collector.stored++] = reinterpret_cast<void*>(pc);
    return _URC_NO_REASON;
}

}  // namespace

[[gnu::noinline]] std::size_t unwindReturnAddresses(std::span<void*> out) {
    UnwindCollector collector{out};
    _Unwind_Backtrace(collectFrame, &collector);
    return collector.stored;
}

[[gnu::noinline]] std::size_t captureStackTrace(std::span<void*> out, std::size_t skip) {
    std::array<void*, 160> frames;
    const std::size_t total = unwindReturnAddresses(frames);
    const std::size_t first = 1 + skip;  // this function's own frame comes first
    std::size_t stored = 0;
    for (std::size_t i = first; i < total && stored < out.size(); ++i) out[stored++] = frames[i];
    return stored;
}

void appendStackTrace(std::string& out, std::span<void* const> frames) {
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const auto pc = reinterpret_cast<std::uintptr_t>(frames[i]);
        if (pc == 0) continue;
        if (!appendFromDebugInfo(out, i, pc)) appendFromSymbols(out, i, pc);
    }
}

}  // namespace vorn::runner::detail
