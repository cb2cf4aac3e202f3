// A server that breaks the protocol on purpose, one way per VORN_FAKE_SERVER value, so the
// tests can check that vorn-run stops with one clear line instead of hanging or crashing.
// Without a value it serves three tests correctly (the second fails); "control_names" does the
// same with control characters in the second test's name.
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "protocol.hpp"

namespace {

namespace protocol = vorn::protocol;

void writeAll(const void* data, std::size_t size, int fd = STDOUT_FILENO) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, bytes, size);
        if (n <= 0) std::_Exit(4);
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
}

void sendFrame(std::uint32_t tag, std::uint32_t bytes_len, const std::vector<std::byte>& body) {
    const auto header = protocol::encodeHeader({tag, bytes_len});
    writeAll(header.data(), header.size());
    writeAll(body.data(), body.size());
}

void pushU32(std::vector<std::byte>& out, std::uint32_t value) {
    std::array<std::byte, 4> bytes{};
    protocol::writeU32(bytes, value);
    out.insert(out.end(), bytes.begin(), bytes.end());
}

bool readExactly(void* data, std::size_t size) {
    char* bytes = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = ::read(STDIN_FILENO, bytes, size);
        if (n <= 0) return false;
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

[[noreturn]] void sleepForever() {
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}

// Starts a helper that leaves the server's process group and session but keeps its standard
// output and error open, writes its process ID to the file named by ESCAPED_PID_FILE, and
// sleeps; returns once the helper has left the group.
void startEscapedHelper() {
    int ready[2];
    if (::pipe(ready) != 0) std::_Exit(5);
    const pid_t pid = ::fork();
    if (pid < 0) std::_Exit(5);
    if (pid == 0) {
        ::close(ready[0]);
        if (::setsid() < 0) std::_Exit(5);
        const char* pid_file = std::getenv("ESCAPED_PID_FILE");
        if (pid_file != nullptr) {
            const std::string text = std::to_string(::getpid()) + "\n";
            if (std::FILE* out = std::fopen(pid_file, "w")) {
                std::fputs(text.c_str(), out);
                std::fclose(out);
            }
        }
        writeAll("x", 1, ready[1]);
        ::close(ready[1]);
        sleepForever();
    }
    ::close(ready[1]);
    char byte = 0;
    if (::read(ready[0], &byte, 1) != 1) std::_Exit(5);
    ::close(ready[0]);
}

std::vector<std::byte> metadataBody(const std::vector<std::string>& names, std::uint32_t first_offset_shift) {
    std::vector<std::byte> strings{std::byte{0}};
    std::vector<std::uint32_t> offsets;
    for (const std::string& name : names) {
        offsets.push_back(static_cast<std::uint32_t>(strings.size()) + first_offset_shift);
        for (char c : name) strings.push_back(static_cast<std::byte>(c));
        strings.push_back(std::byte{0});
    }
    std::vector<std::byte> body;
    pushU32(body, static_cast<std::uint32_t>(strings.size()));
    pushU32(body, static_cast<std::uint32_t>(names.size()));
    for (std::uint32_t offset : offsets) pushU32(body, offset);
    for (std::size_t i = 0; i < names.size(); ++i) pushU32(body, 0);
    body.insert(body.end(), strings.begin(), strings.end());
    return body;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 || std::strcmp(argv[1], "--listen=-") != 0) return 1;
    const char* mode_env = std::getenv("VORN_FAKE_SERVER");
    const std::string_view mode = mode_env != nullptr ? mode_env : "";

    if (mode == "garbage") {
        const char text[] = "hello, I am not a server\n";
        writeAll(text, sizeof text - 1);
        sleepForever();
    }
    if (mode == "silent") sleepForever();

    const std::string version = "fake server 1.0";
    sendFrame(0, static_cast<std::uint32_t>(version.size()),
              std::vector<std::byte>(reinterpret_cast<const std::byte*>(version.data()),
                                     reinterpret_cast<const std::byte*>(version.data()) + version.size()));
    if (mode == "unsolicited") sendFrame(4, 8, std::vector<std::byte>(8));
    if (mode == "exits_after_version") return 0;

    const std::vector<std::string> names{
        "fake.test.one", mode == "control_names" ? "fake.test.\x1b]0;title\x07two\x1b[2J" : "fake.test.two",
        "fake.test.three"};
    for (;;) {
        std::array<std::byte, protocol::header_size> header_bytes;
        if (!readExactly(header_bytes.data(), header_bytes.size())) return 0;
        const protocol::Header header = protocol::readHeader(header_bytes);
        std::vector<std::byte> body(header.bytes_len);
        if (!readExactly(body.data(), body.size())) return 1;

        if (header.tag == static_cast<std::uint32_t>(protocol::ClientTag::exit)) return 0;
        if (header.tag == static_cast<std::uint32_t>(protocol::ClientTag::query_test_metadata)) {
            if (mode == "stall_metadata") sleepForever();
            if (mode == "huge_metadata") {
                sendFrame(3, 0xffffffffu, {});
                sleepForever();
            }
            const auto meta = metadataBody(names, mode == "bad_offsets" ? 1000 : 0);
            sendFrame(3, static_cast<std::uint32_t>(meta.size()), meta);
            continue;
        }
        if (header.tag == static_cast<std::uint32_t>(protocol::ClientTag::run_test) && body.size() == 4) {
            const std::uint32_t index = protocol::readU32(std::span<const std::byte, 4>(body.data(), 4));
            if (mode == "stall_tests") sleepForever();
            if (mode == "escapes") {
                startEscapedHelper();
                std::_Exit(3);
            }
            if (mode == "closes_output") {
                ::close(STDOUT_FILENO);
                sleepForever();
            }
            std::uint32_t flags = 0;
            if (index == 1) {
                // Written in two pieces right before the answer: all of it belongs to the test.
                const char first[] = "check failed here\n";
                const char second[] = "and the trace ends here\n";
                writeAll(first, sizeof first - 1, STDERR_FILENO);
                writeAll(second, sizeof second - 1, STDERR_FILENO);
                flags = protocol::flag_fail;
            }
            std::vector<std::byte> results;
            pushU32(results, mode == "wrong_index" ? index + 1 : index);
            pushU32(results, flags);
            sendFrame(4, 8, results);
            continue;
        }
        return 1;
    }
}
