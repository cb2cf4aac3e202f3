// Reassembles the server's framed messages from the bytes its standard output delivers, and
// decodes the bodies vorn-run understands. Every length comes from the child, so each is
// checked against what the awaited message may carry before anything waits for or keeps it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vorn::run {

// What the parent is waiting for: one tag, with a body length in [min_len, max_len].
struct ExpectedMessage {
    std::uint32_t tag;
    std::uint32_t min_len;
    std::uint32_t max_len;
    std::string_view what;  // for error messages: "the version string", ...
};

inline constexpr std::uint32_t max_version_len = 64 * 1024;
inline constexpr std::uint32_t max_metadata_len = 64 * 1024 * 1024;

ExpectedMessage expectVersion();
ExpectedMessage expectMetadata();
ExpectedMessage expectResults();

struct Frame {
    std::uint32_t tag;
    std::vector<std::byte> body;
};

class FrameReader {
public:
    void append(std::span<const std::byte> bytes);
    bool empty() const { return buffered_.empty(); }

    // The next complete message, or nothing while it is incomplete. Throws ProtocolError as
    // soon as the header shows a different tag or an out-of-range length.
    std::optional<Frame> next(const ExpectedMessage& expected);

private:
    std::vector<std::byte> buffered_;
};

struct TestResultsBody {
    std::uint32_t index;
    std::uint32_t flags;
};

// Test names in table order. Throws ProtocolError for any inconsistency.
std::vector<std::string> decodeTestMetadata(std::span<const std::byte> body);
TestResultsBody decodeTestResults(std::span<const std::byte> body);

std::vector<std::byte> encodeQueryTestMetadata();
std::vector<std::byte> encodeRunTest(std::uint32_t index);
std::vector<std::byte> encodeExit();

}  // namespace vorn::run
