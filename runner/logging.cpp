#include "logging.hpp"

#include "process_state.hpp"
#include "runner_internal.hpp"

namespace vorn::runner::detail {
namespace {

std::string_view levelName(LogLevel level) {
    switch (level) {
        case LogLevel::err:
            return "err";
        case LogLevel::warn:
            return "warn";
        case LogLevel::info:
            return "info";
        case LogLevel::debug:
            return "debug";
    }
    return "?";
}

}  // namespace

std::string formatLogLine(LogLevel level, std::string_view scope, std::string_view message) {
    std::string line;
    line.reserve(scope.size() + message.size() + 16);
    line += '[';
    line += scope;
    line += "] (";
    line += levelName(level);
    line += "): ";
    line += message;
    line += '\n';
    return line;
}

std::uint64_t logErrCount() { return processState().log_err_count.load(std::memory_order_relaxed); }

void resetLogErrCount() { processState().log_err_count.store(0, std::memory_order_relaxed); }

void setLogLevel(LogLevel level) { processState().log_level.store(level, std::memory_order_relaxed); }

}  // namespace vorn::runner::detail

namespace vorn::testing {

void log(LogLevel level, std::string_view scope, std::string_view message) {
    using namespace vorn::runner::detail;
    ProcessState& state = processState();
    if (level == LogLevel::err) saturatingIncrement(state.log_err_count);
    if (level > state.log_level.load(std::memory_order_relaxed)) return;
    const std::string line = formatLogLine(level, scope, message);
    StderrLock lock;
    writeStderr(line);
}

}  // namespace vorn::testing
