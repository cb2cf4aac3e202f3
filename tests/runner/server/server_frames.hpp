// Test-side helpers for the server-mode wire format: building parent messages and splitting
// the runner's output into frames, refusing anything that is not a whole, well-formed frame.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "protocol.hpp"

namespace vorn::server_test {

using Bytes = std::vector<std::byte>;

// Every helper here sizes its vector first and then writes into it: g++ 12 at -O3 reports
// stringop-overflow on an inlined reallocating range insert at the end of a vector, though the
// insert is correct.
inline void appendU32(Bytes& out, std::uint32_t value) {
    const std::size_t at = out.size();
    out.resize(at + 4);
    vorn::protocol::writeU32(std::span(out).subspan(at).first<4>(), value);
}

inline std::uint32_t u32At(std::span<const std::byte> bytes, std::size_t offset) {
    return vorn::protocol::readU32(bytes.subspan(offset).first<4>());
}

// A message with an explicit header length, which may disagree with the body actually sent.
inline Bytes rawMessage(std::uint32_t tag, std::uint32_t bytes_len, std::span<const std::byte> body = {}) {
    Bytes out(vorn::protocol::header_size + body.size());
    const auto header = vorn::protocol::encodeHeader({tag, bytes_len});
    std::copy(header.begin(), header.end(), out.begin());
    std::copy(body.begin(), body.end(), out.begin() + vorn::protocol::header_size);
    return out;
}

inline Bytes message(std::uint32_t tag, std::span<const std::byte> body = {}) {
    return rawMessage(tag, static_cast<std::uint32_t>(body.size()), body);
}

inline Bytes exitMessage() { return message(0); }
inline Bytes queryMetadata() { return message(4); }
inline Bytes runTest(std::uint32_t index) {
    Bytes body;
    appendU32(body, index);
    return message(5, body);
}

inline Bytes concat(std::initializer_list<Bytes> parts) {
    std::size_t size = 0;
    for (const auto& part : parts) size += part.size();
    Bytes out(size);
    auto at = out.begin();
    for (const auto& part : parts) at = std::copy(part.begin(), part.end(), at);
    return out;
}

inline std::string asText(std::span<const std::byte> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

struct Frame {
    std::uint32_t tag;
    Bytes body;
};

// Splits `stream` into frames; nullopt when it ends inside a frame.
inline std::optional<std::vector<Frame>> splitFrames(std::span<const std::byte> stream) {
    std::vector<Frame> frames;
    std::size_t at = 0;
    while (at < stream.size()) {
        if (stream.size() - at < vorn::protocol::header_size) return std::nullopt;
        const std::uint32_t tag = u32At(stream, at);
        const std::uint32_t len = u32At(stream, at + 4);
        at += vorn::protocol::header_size;
        if (stream.size() - at < len) return std::nullopt;
        frames.push_back({tag, Bytes(stream.begin() + static_cast<std::ptrdiff_t>(at),
                                     stream.begin() + static_cast<std::ptrdiff_t>(at + len))});
        at += len;
    }
    return frames;
}

struct TestResults {
    std::uint32_t index;
    std::uint32_t flags;
};

// nullopt unless `frame` is a test_results frame of exactly 8 bytes.
inline std::optional<TestResults> asTestResults(const Frame& frame) {
    if (frame.tag != 4 || frame.body.size() != 8) return std::nullopt;
    return TestResults{u32At(frame.body, 0), u32At(frame.body, 4)};
}

struct TestMetadata {
    std::vector<std::string> names;
    std::vector<std::uint32_t> expected_panic_msgs;
    Bytes string_bytes;
};

// Decodes a test_metadata frame, checking every length and offset; nullopt on any mismatch.
inline std::optional<TestMetadata> asTestMetadata(const Frame& frame) {
    const std::span<const std::byte> body = frame.body;
    if (frame.tag != 3 || body.size() < 8) return std::nullopt;
    const std::uint64_t string_bytes_len = u32At(body, 0);
    const std::uint64_t tests_len = u32At(body, 4);
    if (body.size() != vorn::protocol::testMetadataBytesLen(tests_len, string_bytes_len)) return std::nullopt;
    TestMetadata out;
    const std::span<const std::byte> strings = body.subspan(8 + 8 * tests_len);
    out.string_bytes.assign(strings.begin(), strings.end());
    if (strings.empty() || strings[0] != std::byte{0}) return std::nullopt;
    for (std::size_t i = 0; i < tests_len; ++i) {
        const std::uint32_t offset = u32At(body, 8 + 4 * i);
        if (offset == 0 || offset >= strings.size()) return std::nullopt;
        const std::string_view rest(reinterpret_cast<const char*>(strings.data()) + offset,
                                    strings.size() - offset);
        const std::size_t end = rest.find('\0');
        if (end == std::string_view::npos) return std::nullopt;
        out.names.emplace_back(rest.substr(0, end));
        out.expected_panic_msgs.push_back(u32At(body, 8 + 4 * tests_len + 4 * i));
    }
    return out;
}

}  // namespace vorn::server_test
