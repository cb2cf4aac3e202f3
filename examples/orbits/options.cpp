#include "options.hpp"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <iterator>
#include <string_view>
#include <system_error>
#include <utility>

#include "text.hpp"

namespace orbits {

namespace {

constexpr int MAX_BODIES = 2000;
constexpr int MAX_ATTRACTORS = 3;
constexpr std::uint64_t MAX_STEPS = 100'000'000;
constexpr double MAX_DT = 0.5;
constexpr double MAX_DAMPING = 10.0;

template <typename Int>
std::optional<Int> parseInteger(std::string_view text) {
    Int value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

std::optional<double> parseFinite(std::string_view text) {
    double value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || text.empty()) return std::nullopt;
    if (!std::isfinite(value)) return std::nullopt;
    return value;
}

std::string inQuotes(std::string_view text) { return cat('\'', text, '\''); }

}  // namespace

ParseResult parseOptions(int argc, const char* const* argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") return HelpRequested{};
        if (arg.substr(0, 2) != "--") return UsageError{cat("unexpected argument ", inQuotes(arg))};

        std::string_view name = arg;
        std::optional<std::string_view> inline_value;
        if (const auto eq = arg.find('='); eq != std::string_view::npos) {
            name = arg.substr(0, eq);
            inline_value = arg.substr(eq + 1);
        }
        const bool known = name == "--bodies" || name == "--attractors" || name == "--steps" ||
                           name == "--dt" || name == "--damping" || name == "--seed" || name == "--every" ||
                           name == "--integrator" || name == "--csv" || name == "--svg" || name == "--html";
        if (!known) return UsageError{cat("unknown option ", inQuotes(name))};

        std::string_view value;
        if (inline_value) {
            value = *inline_value;
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            return UsageError{cat("option ", name, " needs a value")};
        }
        const auto bad = [&](const char* expected) {
            return UsageError{cat("option ", name, " expects ", expected, ", got ", inQuotes(value))};
        };

        if (name == "--bodies") {
            const auto n = parseInteger<int>(value);
            if (!n || *n < 1 || *n > MAX_BODIES) return bad("a whole number from 1 to 2000");
            options.bodies = *n;
        } else if (name == "--attractors") {
            const auto n = parseInteger<int>(value);
            if (!n || *n < 1 || *n > MAX_ATTRACTORS) return bad("1, 2 or 3");
            options.attractors = *n;
        } else if (name == "--steps") {
            const auto n = parseInteger<std::uint64_t>(value);
            if (!n || *n > MAX_STEPS) return bad("a whole number from 0 to 100000000");
            options.steps = *n;
        } else if (name == "--dt") {
            const auto x = parseFinite(value);
            if (!x || !(*x > 0.0) || *x > MAX_DT) return bad("a time step above 0 and at most 0.5");
            options.dt = *x;
        } else if (name == "--damping") {
            const auto x = parseFinite(value);
            if (!x || *x < 0.0 || *x > MAX_DAMPING) return bad("a damping rate from 0 to 10");
            options.damping = *x;
        } else if (name == "--seed") {
            const auto n = parseInteger<std::uint64_t>(value);
            if (!n) return bad("a whole number from 0 to 18446744073709551615");
            options.seed = *n;
        } else if (name == "--every") {
            const auto n = parseInteger<std::uint64_t>(value);
            if (!n || *n < 1) return bad("a whole number of at least 1");
            options.every = *n;
        } else if (name == "--integrator") {
            if (value == "compat") {
                options.integrator = vorn_world::Integrator::compat;
            } else if (value == "kdk") {
                options.integrator = vorn_world::Integrator::kdk;
            } else if (value == "yoshida4") {
                options.integrator = vorn_world::Integrator::yoshida4;
            } else {
                return bad("compat, kdk or yoshida4");
            }
        } else if (name == "--csv" || name == "--svg" || name == "--html") {
            if (value.empty()) return bad("a file name");
            (name == "--csv"   ? options.csv_path
             : name == "--svg" ? options.svg_path
                               : options.html_path) = std::string(value);
        }
    }
    const std::pair<const char*, const std::optional<std::string>*> outputs[] = {
        {"--csv", &options.csv_path}, {"--svg", &options.svg_path}, {"--html", &options.html_path}};
    for (std::size_t a = 0; a < std::size(outputs); ++a) {
        for (std::size_t b = a + 1; b < std::size(outputs); ++b) {
            const auto& first = *outputs[a].second;
            const auto& second = *outputs[b].second;
            if (first && second && *first == *second) {
                return UsageError{cat(outputs[a].first, " and ", outputs[b].first, " name the same file ",
                                      inQuotes(*first))};
            }
        }
    }
    return options;
}

std::string usageText(const std::string& program_name) {
    return cat("usage: ", program_name,
               " [options]\n"
               "Bodies on the unit 3-sphere circling fixed attractors, with light damping.\n"
               "\n"
               "  --bodies N      number of bodies, 1 to 2000 (default 36)\n"
               "  --attractors N  number of fixed attractors, 1 to 3 (default 3)\n"
               "  --steps N       number of integration steps (default 4000)\n"
               "  --dt X          time step, above 0 and at most 0.5 (default 0.005); steps\n"
               "                  above 0.03 (0.02 with compat) do not resolve close passes:\n"
               "                  bodies skip past an attractor and gain speed, and the run\n"
               "                  may become unstable\n"
               "  --damping X     linear damping rate, 0 to 10 (default 0.03)\n"
               "  --seed N        seed of the initial conditions (default 1)\n"
               "  --integrator I  compat, kdk or yoshida4 (default kdk)\n"
               "  --every N       write every N-th step to the CSV (default 5)\n"
               "  --csv FILE      write the trajectories as CSV\n"
               "  --svg FILE      draw the trajectories as an SVG picture\n"
               "  --html FILE     write an animated viewer of the run as one HTML page\n"
               "  --help          show this text\n"
               "\n"
               "A regular FILE (or a new one) is written as FILE.part and renamed to FILE once\n"
               "every output is complete, so a failed or interrupted run leaves an earlier FILE\n"
               "as it was; a symbolic link is followed, and a FIFO or device is written directly.\n"
               "Exit status: 0 on success, 1 when the run or an output failed (an unstable run\n"
               "included), 2 for a bad command line.\n");
}

}  // namespace orbits
