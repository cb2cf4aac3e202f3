#include "options.hpp"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "concat.hpp"
#include "errors.hpp"

namespace vorn::run {
namespace {

// Accepts "--name VALUE" and "--name=VALUE" (and "-jN" for the short -j).
class ArgCursor {
public:
    explicit ArgCursor(std::span<const std::string_view> args) : args_(args) {}
    bool done() const { return next_ >= args_.size(); }
    std::string_view take() { return args_[next_++]; }
    std::string_view value(std::string_view option) {
        if (done()) throw UsageError(concat({"option ", option, " needs a value"}));
        return take();
    }

private:
    std::span<const std::string_view> args_;
    std::size_t next_ = 0;
};

unsigned parseJobs(std::string_view text) {
    unsigned jobs = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), jobs);
    if (ec != std::errc{} || end != text.data() + text.size() || jobs == 0 || jobs > max_jobs) {
        throw UsageError(
            concat({"-j needs a whole number from 1 to ", std::to_string(max_jobs), ", not '", text, "'"}));
    }
    return jobs;
}

std::uint32_t parseIndex(std::string_view text) {
    std::uint32_t index = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), index);
    if (ec != std::errc{} || end != text.data() + text.size()) {
        throw UsageError(concat({"--index needs a test position from 0, not '", text, "'"}));
    }
    return index;
}

std::chrono::nanoseconds parseTimeout(std::string_view text) {
    const std::string copy(text);
    char* end = nullptr;
    const double seconds = copy.empty() ? 0.0 : std::strtod(copy.c_str(), &end);
    constexpr double max_seconds = 7 * 24 * 3600.0;
    if (copy.empty() || end != copy.c_str() + copy.size() || !(seconds > 0.0) || !(seconds <= max_seconds)) {
        throw UsageError(
            concat({"--timeout needs a number of seconds above 0 and at most one week, not '", copy, "'"}));
    }
    // Rounded to the nearest nanosecond, so a decimal written by hand comes back as written.
    const auto ns = std::max<std::int64_t>(1, std::llround(seconds * 1e9));
    return std::chrono::nanoseconds(ns);
}

}  // namespace

Options parseOptions(std::span<const std::string_view> args) {
    Options options;
    std::vector<std::string_view> positional;
    ArgCursor cursor(args);
    bool options_ended = false;
    while (!cursor.done()) {
        const std::string_view arg = cursor.take();
        if (options_ended || arg.empty() || arg[0] != '-' || arg == "-") {
            positional.push_back(arg);
            continue;
        }
        const std::size_t eq = arg.find('=');
        const bool long_option = arg.starts_with("--");
        const std::string_view name = long_option && eq != std::string_view::npos ? arg.substr(0, eq) : arg;
        const bool has_inline_value = long_option && eq != std::string_view::npos;
        const std::string_view inline_value = has_inline_value ? arg.substr(eq + 1) : std::string_view();
        auto value = [&] { return has_inline_value ? inline_value : cursor.value(name); };
        auto noValue = [&] {
            if (has_inline_value) throw UsageError(concat({"option ", name, " takes no value"}));
        };

        if (arg == "--") {
            options_ended = true;
        } else if (name == "--help" || name == "-h") {
            noValue();
            options.help = true;
        } else if (name == "--list") {
            noValue();
            options.list = true;
        } else if (name == "-j" || name == "--jobs") {
            options.jobs = parseJobs(value());
        } else if (!long_option && arg.starts_with("-j")) {
            options.jobs = parseJobs(arg.substr(2));
        } else if (name == "--filter") {
            options.filters.emplace_back(value());
        } else if (name == "--exact") {
            options.exact_names.emplace_back(value());
        } else if (name == "--index") {
            options.indices.push_back(parseIndex(value()));
        } else if (name == "--timeout") {
            options.timeout = parseTimeout(value());
        } else if (name == "--junit") {
            const std::string_view path = value();
            if (path.empty()) throw UsageError("--junit needs a file name");
            options.junit_path = std::string(path);
        } else {
            throw UsageError(concat({"unknown option '", arg, "'"}));
        }
    }
    if (options.help) return options;
    if (positional.empty()) throw UsageError("missing the executable to run");
    if (positional.size() > 1) {
        throw UsageError(
            concat({"expected one executable, got '", positional[0], "' and '", positional[1], "'"}));
    }
    if (positional[0].empty()) throw UsageError("the executable name is empty");
    options.executable = std::string(positional[0]);
    return options;
}

std::string usageText() {
    return "usage: vorn-run [options] EXECUTABLE\n"
           "Runs the registered tests of EXECUTABLE through its server mode (EXECUTABLE --listen=-),\n"
           "each test in a server process of its own choosing, crashes and hangs isolated.\n"
           "\n"
           "  --list            print the test names in table order and exit\n"
           "  -j, --jobs N      run N servers at once (default: the number of cores)\n"
           "  --filter TEXT     run only tests whose names contain TEXT (repeatable)\n"
           "  --exact NAME      run only the test named exactly NAME (repeatable)\n"
           "  --index I         run only the test at table position I, from 0 (repeatable)\n"
           "  --timeout SECONDS per test and per answer from a server (default: 60)\n"
           "  --junit FILE      also write a JUnit XML report to FILE\n"
           "  -h, --help        print this help\n"
           "\n"
           "Exit status: 0 when every test passed or was skipped and nothing leaked or logged an\n"
           "error, 1 otherwise, 2 for bad usage or an executable that does not follow the protocol.\n";
}

std::string describeTimeout(std::chrono::nanoseconds timeout) {
    const std::int64_t ns = timeout.count();
    char text[48];
    if (ns % 1'000'000'000 == 0) {
        std::snprintf(text, sizeof text, "%lld s", static_cast<long long>(ns / 1'000'000'000));
        return text;
    }
    if (ns % 1'000'000 == 0) {
        std::snprintf(text, sizeof text, "%.3f s", static_cast<double>(ns) / 1e9);
        return text;
    }
    std::snprintf(text, sizeof text, "%lld.%09lld", static_cast<long long>(ns / 1'000'000'000),
                  static_cast<long long>(ns % 1'000'000'000));
    std::string digits = text;
    digits.erase(digits.find_last_not_of('0') + 1);
    return concat({digits, " s"});
}

unsigned effectiveJobs(const Options& options) {
    if (options.jobs != 0) return options.jobs;
    const long cores = ::sysconf(_SC_NPROCESSORS_ONLN);
    if (cores < 1) return 1;
    return cores > static_cast<long>(max_jobs) ? max_jobs : static_cast<unsigned>(cores);
}

}  // namespace vorn::run
