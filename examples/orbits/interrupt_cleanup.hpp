// Temporary files removed when SIGINT, SIGTERM or SIGHUP ends the program: the handler
// unlinks the names registered (nothing else is async-signal-safe to do there), then the
// program dies of the signal as it would have without the handler.
#pragma once

namespace orbits {

// Installs the handlers, once, early in main; signals ignored at start stay ignored.
void removeTemporaryFilesOnInterrupt();

// Keeps one name registered from hold() until release() or its end; the text must stay
// alive and unchanged meanwhile. Up to eight names at a time: registering more is a
// programming error (it aborts).
class TemporaryFileRegistration {
public:
    TemporaryFileRegistration() = default;
    TemporaryFileRegistration(const TemporaryFileRegistration&) = delete;
    TemporaryFileRegistration& operator=(const TemporaryFileRegistration&) = delete;
    ~TemporaryFileRegistration() { release(); }

    void hold(const char* path);
    void release();

private:
    int slot_ = -1;
};

}  // namespace orbits
