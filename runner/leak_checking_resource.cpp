#include "leak_checking_resource.hpp"

#include <bit>
#include <cstdint>
#include <new>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "stack_trace.hpp"
#include "text.hpp"
#include "vorn_log.hpp"

namespace vorn::runner::detail {
namespace {

constexpr std::string_view scope = "gpa";

void release(void* p, std::size_t alignment) { ::operator delete (p, std::align_val_t{alignment}); }

void appendAddress(std::string& out, const void* p) {
    out += "0x";
    appendHex(out, reinterpret_cast<std::uintptr_t>(p));
}

[[gnu::noinline]] void appendCurrentTrace(std::string& out) {
    std::array<void*, LeakCheckingResource::max_frames> frames;
    // Leave out the allocator's own frames (this helper and do_deallocate).
    const std::size_t count = captureStackTrace(frames, 2);
    appendStackTrace(out, std::span<void* const>(frames.data(), count));
}

}  // namespace

LeakCheckingResource::~LeakCheckingResource() { reset(); }

void LeakCheckingResource::reset() {
    std::unordered_map<void*, Block> blocks;
    {
        std::lock_guard lock(mutex_);
        blocks.swap(live_);
    }
    for (const auto& [p, block] : blocks) release(p, block.alignment);
}

bool LeakCheckingResource::checkForLeaks() const {
    std::vector<std::pair<void*, Block>> leaked;
    {
        std::lock_guard lock(mutex_);
        leaked.assign(live_.begin(), live_.end());
    }
    for (const auto& [p, block] : leaked) {
        std::string message = "memory address ";
        appendAddress(message, p);
        message += " leaked: \n";
        appendStackTrace(message, std::span<void* const>(block.frames.data(), block.frame_count));
        // The log line adds the final line end.
        if (!message.empty() && message.back() == '\n') message.pop_back();
        vorn::testing::logError(scope, message);
    }
    return !leaked.empty();
}

std::size_t LeakCheckingResource::liveBlocks() const {
    std::lock_guard lock(mutex_);
    return live_.size();
}

void* LeakCheckingResource::do_allocate(std::size_t bytes, std::size_t alignment) {
    // No object may be larger than PTRDIFF_MAX; asking the heap for one is an error some
    // heaps (a sanitizer's among them) report by ending the process instead of failing.
    if (!std::has_single_bit(alignment) || bytes > static_cast<std::size_t>(PTRDIFF_MAX))
        throw std::bad_alloc();
    Block block{bytes, alignment, {}, 0};
    // Leave out this function's frame: the trace starts at whoever asked for memory.
    block.frame_count = captureStackTrace(block.frames, 1);
    void* p = ::operator new (bytes, std::align_val_t{alignment});
    try {
        std::lock_guard lock(mutex_);
        live_.emplace(p, block);
    } catch (...) {
        release(p, alignment);
        throw;
    }
    return p;
}

void LeakCheckingResource::do_deallocate(void* p, std::size_t bytes, std::size_t alignment) {
    Block block{};
    bool known = false;
    {
        std::lock_guard lock(mutex_);
        if (const auto it = live_.find(p); it != live_.end()) {
            block = it->second;
            known = true;
            live_.erase(it);
        }
    }
    if (!known) {
        // Freeing it would corrupt whichever heap it came from: report and keep it.
        std::string message = "free of memory address ";
        appendAddress(message, p);
        message += " that this allocator does not own: \n";
        appendCurrentTrace(message);
        if (message.back() == '\n') message.pop_back();
        vorn::testing::logError(scope, message);
        return;
    }
    if (block.bytes != bytes || block.alignment != alignment) {
        std::string message = "memory address ";
        appendAddress(message, p);
        message += " allocated with size ";
        appendDecimal(message, block.bytes);
        message += " and alignment ";
        appendDecimal(message, block.alignment);
        message += ", freed with size ";
        appendDecimal(message, bytes);
        message += " and alignment ";
        appendDecimal(message, alignment);
        message += ": \n";
        appendCurrentTrace(message);
        if (message.back() == '\n') message.pop_back();
        vorn::testing::logError(scope, message);
    }
    // The recorded alignment is the one the block was made with, whatever the caller said.
    release(p, block.alignment);
}

bool LeakCheckingResource::do_is_equal(const std::pmr::memory_resource& other) const noexcept {
    return this == &other;
}

}  // namespace vorn::runner::detail
