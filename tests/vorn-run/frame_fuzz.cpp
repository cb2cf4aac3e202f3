// libFuzzer target for what vorn-run reads from a server: arbitrary bytes as a stream of
// frames (cut into arbitrary pieces, against each awaited message) and as a test_metadata
// body. Anything but a clean decode or a ProtocolError is a finding.
#include <cstddef>
#include <cstdint>
#include <span>

#include "errors.hpp"
#include "frame_reader.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vorn::run;
    const auto bytes = std::as_bytes(std::span(data, size));
    try {
        (void)decodeTestMetadata(bytes);
    } catch (const ProtocolError&) {}
    if (size < 2) return 0;

    const ExpectedMessage expectations[] = {expectVersion(), expectMetadata(), expectResults()};
    const ExpectedMessage& expected = expectations[data[0] % 3];
    const std::size_t piece = static_cast<std::size_t>(data[1] % 17) + 1;
    FrameReader reader;
    try {
        for (std::size_t at = 2; at < size; at += piece) {
            reader.append(bytes.subspan(at, std::min(piece, size - at)));
            while (auto frame = reader.next(expected)) {
                if (frame->body.size() < expected.min_len || frame->body.size() > expected.max_len)
                    __builtin_trap();
                if (expected.tag == expectMetadata().tag) (void)decodeTestMetadata(frame->body);
                if (expected.tag == expectResults().tag) (void)decodeTestResults(frame->body);
            }
        }
    } catch (const ProtocolError&) {}
    return 0;
}
