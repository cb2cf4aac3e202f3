// The per-test allocator: a memory resource that remembers every live block with the stack
// trace of its allocation, so that blocks a test never freed can be reported as leaks.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory_resource>
#include <mutex>
#include <unordered_map>

namespace vorn::runner::detail {

class LeakCheckingResource final : public std::pmr::memory_resource {
public:
    static constexpr std::size_t max_frames = 10;

    LeakCheckingResource() = default;
    ~LeakCheckingResource() override;
    LeakCheckingResource(const LeakCheckingResource&) = delete;
    LeakCheckingResource& operator=(const LeakCheckingResource&) = delete;

    // Releases every block still live and forgets it: the resource is as if new.
    void reset();

    // Logs each live block at error level (scope gpa) as "memory address 0x{x} leaked: "
    // followed by its allocation trace; returns whether there was any.
    bool checkForLeaks() const;

    std::size_t liveBlocks() const;

private:
    struct Block {
        std::size_t bytes;
        std::size_t alignment;
        std::array<void*, max_frames> frames;
        std::size_t frame_count;
    };

    void* do_allocate(std::size_t bytes, std::size_t alignment) override;
    void do_deallocate(void* p, std::size_t bytes, std::size_t alignment) override;
    bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override;

    mutable std::mutex mutex_;
    // Bookkeeping lives on the global heap, never in the blocks it describes.
    std::unordered_map<void*, Block> live_;
};

}  // namespace vorn::runner::detail
