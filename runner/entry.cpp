// The runner's entry: process set-up, the command line, then one of the two modes.
#include "arguments.hpp"
#include "runner_internal.hpp"
#include "signal_handlers.hpp"
#include "vorn_runner.hpp"

namespace vorn::runner {

int run(int argc, char** argv, std::span<const vorn::testing::TestCase> tests) {
    detail::installProcessSignalHandlers();
    const detail::CommandLine command_line = detail::readCommandLine(argc, argv, detail::fixedBuffer());
    if (command_line == detail::CommandLine::too_large) detail::fatal("unable to parse command line args");
    if (command_line == detail::CommandLine::unrecognized_argument) {
        detail::fatal("unrecognized command line argument");
    }
    if (command_line == detail::CommandLine::server_mode) {
        try {
            return detail::runServerMode(tests);
        } catch (const detail::ServerError&) {
            detail::fatal("internal test runner failure");
        }
    }
    return detail::runTerminalMode(tests);
}

}  // namespace vorn::runner
