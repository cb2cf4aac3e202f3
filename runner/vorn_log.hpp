// Log messages on standard error: "[scope] (level): message". Error-level messages are
// counted, and a run that logged an error ends with exit status 1.
#pragma once

#include <cstdint>
#include <string_view>

namespace vorn::testing {

// From most to least severe.
enum class LogLevel : std::uint8_t { err, warn, info, debug };

// Writes the message when it is at least as severe as the current log level (warning while a
// test runs); an error-level message is counted even when it is dropped.
void log(LogLevel level, std::string_view scope, std::string_view message);

inline void logError(std::string_view scope, std::string_view message) { log(LogLevel::err, scope, message); }
inline void logWarn(std::string_view scope, std::string_view message) { log(LogLevel::warn, scope, message); }
inline void logInfo(std::string_view scope, std::string_view message) { log(LogLevel::info, scope, message); }
inline void logDebug(std::string_view scope, std::string_view message) {
    log(LogLevel::debug, scope, message);
}

}  // namespace vorn::testing
