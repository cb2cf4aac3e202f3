// vorn-run's command line.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vorn::run {

inline constexpr std::chrono::nanoseconds default_timeout = std::chrono::seconds(60);
inline constexpr unsigned max_jobs = 256;

struct Options {
    std::string executable;
    bool list = false;
    bool help = false;
    unsigned jobs = 0;                                   // 0: one server per online core
    std::vector<std::string> filters;                    // name contains any of these
    std::vector<std::string> exact_names;                // name equals one of these
    std::vector<std::uint32_t> indices;                  // table positions from 0
    std::chrono::nanoseconds timeout = default_timeout;  // to the nearest nanosecond
    std::optional<std::string> junit_path;
};

// `args` excludes the program name. Throws UsageError with a one-line reason.
Options parseOptions(std::span<const std::string_view> args);

std::string usageText();

// A timeout as messages show it: "60 s", "0.300 s" for whole milliseconds, and as many
// decimals as it takes below that ("0.0001 s").
std::string describeTimeout(std::chrono::nanoseconds timeout);

// The number of servers to run: the -j value, or the number of online cores.
unsigned effectiveJobs(const Options& options);

}  // namespace vorn::run
