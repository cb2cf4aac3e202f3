#include "frame_reader.hpp"

#include <algorithm>
#include <cstdio>

#include "concat.hpp"
#include "errors.hpp"
#include "protocol.hpp"

namespace vorn::run {
namespace protocol = vorn::protocol;
namespace {

std::string hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", value);
    return text;
}

std::uint32_t u32At(std::span<const std::byte> bytes, std::size_t offset) {
    return protocol::readU32(bytes.subspan(offset).first<4>());
}

std::vector<std::byte> encodeMessage(protocol::ClientTag tag, std::span<const std::byte> body) {
    const auto header =
        protocol::encodeHeader({static_cast<std::uint32_t>(tag), static_cast<std::uint32_t>(body.size())});
    // Sized once and copied into: g++ 12 at -O3 misreads an insert after the header as out of bounds.
    std::vector<std::byte> message(header.size() + body.size());
    std::copy(header.begin(), header.end(), message.begin());
    std::copy(body.begin(), body.end(), message.begin() + static_cast<std::ptrdiff_t>(header.size()));
    return message;
}

}  // namespace

ExpectedMessage expectVersion() {
    return {static_cast<std::uint32_t>(protocol::ServerTag::version_string), 0, max_version_len,
            "the version string"};
}

ExpectedMessage expectMetadata() {
    return {static_cast<std::uint32_t>(protocol::ServerTag::test_metadata), 8, max_metadata_len,
            "test_metadata"};
}

ExpectedMessage expectResults() {
    return {static_cast<std::uint32_t>(protocol::ServerTag::test_results), 8, 8, "test_results"};
}

void FrameReader::append(std::span<const std::byte> bytes) {
    buffered_.insert(buffered_.end(), bytes.begin(), bytes.end());
}

std::optional<Frame> FrameReader::next(const ExpectedMessage& expected) {
    if (buffered_.size() < protocol::header_size) return std::nullopt;
    const protocol::Header header =
        protocol::readHeader(std::span<const std::byte>(buffered_).first<protocol::header_size>());
    if (header.tag != expected.tag) {
        throw ProtocolError(concat({"sent a message with tag ", hex(header.tag), " while ", expected.what,
                                    " (tag ", hex(expected.tag), ") was awaited"}));
    }
    if (header.bytes_len < expected.min_len || header.bytes_len > expected.max_len) {
        throw ProtocolError(
            concat({"sent ", expected.what, " with a body of ", std::to_string(header.bytes_len),
                    " bytes (allowed: ", std::to_string(expected.min_len), " to ",
                    std::to_string(expected.max_len), ")"}));
    }
    const std::size_t total = protocol::header_size + header.bytes_len;
    if (buffered_.size() < total) return std::nullopt;
    Frame frame{header.tag, std::vector<std::byte>(buffered_.begin() + protocol::header_size,
                                                   buffered_.begin() + static_cast<std::ptrdiff_t>(total))};
    buffered_.erase(buffered_.begin(), buffered_.begin() + static_cast<std::ptrdiff_t>(total));
    return frame;
}

std::vector<std::string> decodeTestMetadata(std::span<const std::byte> body) {
    if (body.size() < 8) throw ProtocolError("sent test_metadata shorter than its 8-byte counts");
    const std::uint64_t string_bytes_len = u32At(body, 0);
    const std::uint64_t tests_len = u32At(body, 4);
    const std::uint64_t expected_len = 8 + 8 * tests_len + string_bytes_len;
    if (expected_len != body.size()) {
        throw ProtocolError(
            concat({"sent test_metadata of ", std::to_string(body.size()), " bytes for ",
                    std::to_string(tests_len), " tests and ", std::to_string(string_bytes_len),
                    " string bytes (expected ", std::to_string(expected_len), ")"}));
    }
    const std::size_t names_at = 8;
    const std::size_t panic_msgs_at = names_at + 4 * tests_len;
    const std::size_t strings_at = panic_msgs_at + 4 * tests_len;
    const auto strings = body.subspan(strings_at);

    auto stringAt = [&](std::uint32_t offset, std::size_t test, std::string_view field) -> std::string {
        if (offset >= strings.size()) {
            throw ProtocolError(
                concat({"sent test_metadata whose ", field, " offset ", std::to_string(offset), " of test ",
                        std::to_string(test), " lies outside its ", std::to_string(strings.size()),
                        " string bytes"}));
        }
        const auto rest = strings.subspan(offset);
        const auto end = std::find(rest.begin(), rest.end(), std::byte{0});
        if (end == rest.end()) {
            throw ProtocolError(concat({"sent test_metadata whose ", field, " of test ", std::to_string(test),
                                        " is not 0-terminated"}));
        }
        return std::string(reinterpret_cast<const char*>(rest.data()),
                           static_cast<std::size_t>(end - rest.begin()));
    };

    std::vector<std::string> names;
    names.reserve(tests_len);
    for (std::size_t i = 0; i < tests_len; ++i) {
        names.push_back(stringAt(u32At(body, names_at + 4 * i), i, "name"));
        stringAt(u32At(body, panic_msgs_at + 4 * i), i, "expected panic message");
    }
    return names;
}

TestResultsBody decodeTestResults(std::span<const std::byte> body) {
    if (body.size() != 8)
        throw ProtocolError(concat({"sent test_results of ", std::to_string(body.size()), " bytes"}));
    return {u32At(body, 0), u32At(body, 4)};
}

std::vector<std::byte> encodeQueryTestMetadata() {
    return encodeMessage(protocol::ClientTag::query_test_metadata, {});
}

std::vector<std::byte> encodeRunTest(std::uint32_t index) {
    std::array<std::byte, 4> body{};
    protocol::writeU32(body, index);
    return encodeMessage(protocol::ClientTag::run_test, body);
}

std::vector<std::byte> encodeExit() { return encodeMessage(protocol::ClientTag::exit, {}); }

}  // namespace vorn::run
