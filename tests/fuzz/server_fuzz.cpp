// Feeds arbitrary bytes to the server loop over a synthetic table, in-process. The first byte
// steers the streams (read chunk size, a read failure at the end of the input, a failing
// frame sink, the receive buffer size); the rest is the message stream. Every run must end,
// stay inside the receive buffer, and leave a well-formed frame stream whose answers match
// the table.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "server_fakes.hpp"

namespace {

using namespace vorn::server_test;
using vorn::runner::server::StopReason;

constexpr std::string_view version = "vorn fuzz";

void require(bool condition) {
    if (!condition) __builtin_trap();
}

// A source that may fail at the end of its input instead of reporting the end.
class FuzzSource final : public vorn::runner::server::ByteSource {
public:
    FuzzSource(std::span<const std::byte> input, std::size_t chunk, bool fail_at_end,
               std::span<const std::byte> buffer)
        : input_(input), chunk_(chunk), fail_at_end_(fail_at_end), buffer_(buffer) {}

    std::optional<std::size_t> read(std::span<std::byte> into) override {
        require(!into.empty() && into.size() <= 256);
        require(into.data() >= buffer_.data() &&
                into.data() + into.size() <= buffer_.data() + buffer_.size());
        if (input_.empty() && fail_at_end_) return std::nullopt;
        const std::size_t n = std::min({into.size(), chunk_, input_.size()});
        std::copy_n(input_.begin(), n, into.begin());
        input_ = input_.subspan(n);
        return n;
    }

private:
    std::span<const std::byte> input_;
    std::size_t chunk_;
    bool fail_at_end_;
    std::span<const std::byte> buffer_;
};

std::uint32_t expectedFlags(std::uint32_t index) {
    switch (index) {
        case passing_test:
            return 0;
        case failing_test:
            return vorn::protocol::flag_fail;
        case skipped_test:
            return vorn::protocol::flag_skip;
        case leaking_test:
            return vorn::protocol::flag_leak;
        case logging_test:
            return static_cast<std::uint32_t>(logging_test_count) << 3;
        case flooding_test:
            return 0xfffffff8u;
        default:
            return ~0u;
    }
}

void checkFrames(const std::vector<Frame>& frames) {
    const auto table = syntheticTable();
    require(!frames.empty() && frames[0].tag == 0 && asText(frames[0].body) == version);
    for (std::size_t i = 1; i < frames.size(); ++i) {
        if (const auto results = asTestResults(frames[i])) {
            require(results->index < table.size());
            require(results->flags == expectedFlags(results->index));
            continue;
        }
        const auto metadata = asTestMetadata(frames[i]);
        require(metadata.has_value() && metadata->names.size() == table.size());
        for (std::size_t t = 0; t < table.size(); ++t) require(metadata->names[t] == table[t].name);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t control = data[0];
    const std::span<const std::byte> input(reinterpret_cast<const std::byte*>(data) + 1, size - 1);

    constexpr std::size_t chunks[] = {1, 2, 3, 7, 8, 64, 256, SIZE_MAX};
    constexpr std::size_t buffers[] = {4096, 64, 16, 8};
    const std::size_t chunk = chunks[control & 7];
    const bool fail_at_end = (control & 8) != 0;
    const std::size_t failing_write = (control >> 4) & 3;  // 0: writes never fail
    const std::size_t buffer_size = buffers[(control >> 6) & 3];

    fakeRunner() = FakeRunner{};
    std::vector<std::byte> buffer(buffer_size);
    FuzzSource source(input, chunk, fail_at_end, buffer);
    MemorySink frames(failing_write == 0 ? std::nullopt : std::optional<std::size_t>(failing_write));
    MemorySink diagnostics;
    const StopReason reason = vorn::runner::server::serve(syntheticTable(), {source, frames, diagnostics},
                                                          buffer, fakeHooks(), version);

    const auto split = splitFrames(frames.data);
    require(split.has_value());
    checkFrames(*split);
    // At most one answer per message, and the version string.
    require(split->size() <= 1 + input.size() / 8);
    require(fakeRunner().resource.live_bytes == 0);

    const std::string text = asText(diagnostics.data);
    switch (reason) {
        case StopReason::exit_requested:
        case StopReason::input_ended:
        case StopReason::runner_failure:
            require(text.empty());
            break;
        case StopReason::unsupported_message:
            require(text.starts_with("unsupported message: ") && text.find('\n') == std::string::npos);
            break;
        case StopReason::malformed_message:
            require(!text.empty() && text.find('\n') == text.size() - 1);
            break;
        case StopReason::metadata_leak:
            require(false);  // the fakes never leak while building metadata
            break;
    }
    return 0;
}
