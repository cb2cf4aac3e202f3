#include "server_loop.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <limits>
#include <new>
#include <vector>

#include "protocol.hpp"
#include "server_reader.hpp"

namespace vorn::runner::server {
namespace {

using protocol::ClientTag;
using protocol::ServerTag;

// A short report line assembled without allocating.
class Line {
public:
    Line& text(std::string_view s) {
        for (const char c : s) put(c);
        return *this;
    }
    Line& number(std::uint64_t value, int base = 10) {
        std::array<char, 24> digits{};
        const char* const end = std::to_chars(digits.data(), digits.data() + digits.size(), value, base).ptr;
        return text(std::string_view(digits.data(), static_cast<std::size_t>(end - digits.data())));
    }
    std::span<const std::byte> bytes() const { return std::as_bytes(std::span(chars_.data(), size_)); }

private:
    void put(char c) {
        if (size_ < chars_.size()) chars_[size_++] = c;
    }
    std::array<char, 256> chars_{};
    std::size_t size_ = 0;
};

class Server {
public:
    Server(std::span<const vorn::testing::TestCase> tests, ServerStreams streams,
           std::span<std::byte> receive_buffer, const TestHooks& hooks)
        : tests_(tests), streams_(streams), reader_(streams.input, receive_buffer), hooks_(hooks) {}

    StopReason run(std::string_view version);

private:
    StopReason refuse(const Line& line) {
        // The stop is already decided; a lost report must not turn it into a different one.
        (void)streams_.diagnostics.write(line.bytes());
        return StopReason::malformed_message;
    }
    std::optional<StopReason> stopForRead(ReadStatus status);
    // `frame` has room for the header in front of the body; the header is filled in here.
    bool sendFrame(ServerTag tag, std::span<std::byte> frame);
    std::optional<StopReason> sendTestMetadata();
    std::optional<StopReason> runTest(std::span<const std::byte> body);

    std::span<const vorn::testing::TestCase> tests_;
    ServerStreams streams_;
    MessageReader reader_;
    const TestHooks& hooks_;
};

bool Server::sendFrame(ServerTag tag, std::span<std::byte> frame) {
    // Each frame goes out in one write, so a failing sink never holds half of one.
    const std::size_t body_len = frame.size() - protocol::header_size;
    if (body_len > std::numeric_limits<std::uint32_t>::max()) return false;
    const auto header =
        protocol::encodeHeader({static_cast<std::uint32_t>(tag), static_cast<std::uint32_t>(body_len)});
    std::copy(header.begin(), header.end(), frame.begin());
    return streams_.frames.write(frame);
}

std::optional<StopReason> Server::stopForRead(ReadStatus status) {
    const protocol::Header header = reader_.header();
    switch (status) {
        case ReadStatus::complete:
            return std::nullopt;
        case ReadStatus::end_of_input:
            return StopReason::input_ended;
        case ReadStatus::read_failed:
            return StopReason::runner_failure;
        case ReadStatus::too_long:
            return refuse(Line()
                              .text("message with tag ")
                              .number(header.tag)
                              .text(" declares a body of ")
                              .number(header.bytes_len)
                              .text(" bytes, but the receive buffer holds at most ")
                              .number(reader_.maxBodySize())
                              .text("\n"));
        case ReadStatus::truncated:
            // Callers report truncation themselves, with what was received.
            return StopReason::malformed_message;
    }
    return StopReason::runner_failure;
}

std::optional<StopReason> Server::sendTestMetadata() {
    hooks_.reset_allocator();
    bool sent = false;
    try {
        std::uint64_t string_bytes_len = 1;  // the leading 0 byte: offset 0 names no string
        for (const auto& test : tests_) string_bytes_len += test.name.size() + 1;
        const std::uint64_t tests_len = tests_.size();
        const std::uint64_t bytes_len = protocol::testMetadataBytesLen(tests_len, string_bytes_len);
        if (bytes_len > std::numeric_limits<std::uint32_t>::max()) return StopReason::runner_failure;

        // One block from the test allocator holds the whole frame: header, the two counts,
        // the name offsets, the zero panic-message entries, then the string bytes.
        std::pmr::vector<std::byte> frame(protocol::header_size + bytes_len, std::byte{0},
                                          &hooks_.allocator());
        const std::span<std::byte> body = std::span(frame).subspan(protocol::header_size);
        protocol::writeU32(body.first<4>(), static_cast<std::uint32_t>(string_bytes_len));
        protocol::writeU32(body.subspan<4, 4>(), static_cast<std::uint32_t>(tests_len));
        const std::span<std::byte> names = body.subspan(protocol::test_metadata_fixed_size, 4 * tests_len);
        const std::span<std::byte> string_bytes =
            body.subspan(protocol::test_metadata_fixed_size + 8 * tests_len);
        std::size_t offset = 1;
        for (std::size_t i = 0; i < tests_.size(); ++i) {
            protocol::writeU32(names.subspan(4 * i).first<4>(), static_cast<std::uint32_t>(offset));
            const auto name = std::as_bytes(std::span(tests_[i].name));
            std::copy(name.begin(), name.end(), string_bytes.begin() + static_cast<std::ptrdiff_t>(offset));
            offset += name.size() + 1;  // the terminating 0 is already there
        }
        sent = sendFrame(ServerTag::test_metadata, frame);
    } catch (const std::bad_alloc&) {
        return StopReason::runner_failure;
    }
    if (hooks_.check_leaks()) return StopReason::metadata_leak;
    if (!sent) return StopReason::runner_failure;
    return std::nullopt;
}

std::optional<StopReason> Server::runTest(std::span<const std::byte> body) {
    const std::uint32_t index = protocol::readU32(body.first<protocol::run_test_body_size>());
    if (index >= tests_.size()) {
        return refuse(Line()
                          .text("run_test index ")
                          .number(index)
                          .text(" is not below the number of tests, ")
                          .number(tests_.size())
                          .text("\n"));
    }
    hooks_.reset_allocator();
    hooks_.reset_log_err_count();
    const detail::TestOutcome outcome = hooks_.call_test(tests_[index]);
    const bool fail = outcome.status == detail::TestStatus::failed;
    const bool skip = outcome.status == detail::TestStatus::skipped;
    if (fail) hooks_.print_error_trace();
    // The leak check logs each leak at error level, so the count is read after it.
    const bool leak = hooks_.check_leaks();
    const std::uint32_t flags = protocol::resultFlags(fail, skip, leak, hooks_.log_err_count());
    std::array<std::byte, protocol::header_size + protocol::test_results_body_size> frame{};
    protocol::writeU32(std::span(frame).subspan<8, 4>(), index);
    protocol::writeU32(std::span(frame).subspan<12, 4>(), flags);
    if (!sendFrame(ServerTag::test_results, frame)) return StopReason::runner_failure;
    return std::nullopt;
}

StopReason Server::run(std::string_view version) {
    {
        std::vector<std::byte> frame(protocol::header_size);
        const auto text = std::as_bytes(std::span(version));
        frame.insert(frame.end(), text.begin(), text.end());
        if (!sendFrame(ServerTag::version_string, frame)) return StopReason::runner_failure;
    }

    for (;;) {
        const ReadStatus header_status = reader_.readHeader();
        if (header_status == ReadStatus::truncated) {
            return refuse(Line()
                              .text("input ended inside a message header after ")
                              .number(reader_.received())
                              .text(" of ")
                              .number(protocol::header_size)
                              .text(" bytes\n"));
        }
        if (auto stop = stopForRead(header_status)) return *stop;

        const protocol::Header header = reader_.header();
        const auto tag = static_cast<ClientTag>(header.tag);
        // Decided on the header alone: a parent that sent an unknown kind may never send the
        // body it declared, and waiting for it would hang both sides.
        if (tag != ClientTag::exit && tag != ClientTag::query_test_metadata && tag != ClientTag::run_test) {
            (void)streams_.diagnostics.write(
                Line().text("unsupported message: ").number(header.tag, 16).bytes());
            return StopReason::unsupported_message;
        }
        if (tag == ClientTag::run_test && header.bytes_len < protocol::run_test_body_size) {
            return refuse(Line()
                              .text("run_test body has ")
                              .number(header.bytes_len)
                              .text(" bytes, but the test index needs ")
                              .number(protocol::run_test_body_size)
                              .text("\n"));
        }

        const ReadStatus body_status = reader_.readBody();
        if (body_status == ReadStatus::truncated) {
            return refuse(Line()
                              .text("input ended inside the body of a message with tag ")
                              .number(header.tag)
                              .text(" after ")
                              .number(reader_.received())
                              .text(" of ")
                              .number(header.bytes_len)
                              .text(" bytes\n"));
        }
        if (auto stop = stopForRead(body_status)) return *stop;

        std::optional<StopReason> stop;
        switch (tag) {
            case ClientTag::exit:
                return StopReason::exit_requested;
            case ClientTag::query_test_metadata:
                stop = sendTestMetadata();
                break;
            case ClientTag::run_test:
                stop = runTest(reader_.body());
                break;
        }
        if (stop) return *stop;
        reader_.finishMessage();
    }
}

}  // namespace

int exitStatus(StopReason reason) {
    switch (reason) {
        case StopReason::exit_requested:
        case StopReason::input_ended:
            return 0;
        case StopReason::unsupported_message:
        case StopReason::malformed_message:
        case StopReason::runner_failure:
        case StopReason::metadata_leak:
            break;
    }
    return 1;
}

StopReason serve(std::span<const vorn::testing::TestCase> tests, ServerStreams streams,
                 std::span<std::byte> receive_buffer, const TestHooks& hooks, std::string_view version) {
    if (receive_buffer.size() < protocol::header_size) return StopReason::runner_failure;
    Server server(tests, streams, receive_buffer, hooks);
    return server.run(version);
}

}  // namespace vorn::runner::server
