// Prints every kernel operation's result on the fixed battery as exact bit patterns.
//
//   vorn_bitexact                   write the lines to standard output
//   vorn_bitexact --compare FILE    compare them with FILE byte for byte; on a difference,
//                                   show the first differing lines and exit with status 1
//   vorn_bitexact --compare FILE --known-differences LIST
//                                   the same, except that a line LIST names may differ, and
//                                   must then be exactly the line LIST gives for it
//
// LIST is this target's known differences from FILE (results that pass through a C library
// function that rounds differently here): pairs of lines "- GOLDEN LINE" and "+ THIS TARGET'S
// LINE"; lines starting with '#' and empty lines are comments. A pair that no line needs is
// reported and fails the comparison too, so the list stays exact.
//   vorn_bitexact --inputs          write the battery itself, every value's exact bits, so that
//                                   other front ends (the Python package) can replay it
#include <bit>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>

#include "battery.hpp"
#include "ops.hpp"

namespace {

std::string allResults() {
    const vorn::bitexact::Battery battery = vorn::bitexact::makeBattery();
    std::string out;
    vorn::bitexact::printKernelOps(battery, out);
    vorn::bitexact::printGeodesicOps(battery, out);
    vorn::bitexact::printPhysicsOps(battery, out);
    vorn::bitexact::printHugeInputOps(battery, out);
    return out;
}

std::optional<std::string> readFile(const char* path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    return std::string{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// A golden line, and the line this target gives instead, with whether a result needed it.
struct KnownDifference {
    std::string line;
    bool used = false;
};
using KnownDifferences = std::map<std::string, KnownDifference, std::less<>>;

// Reads the "- golden" / "+ actual" pairs of a known-differences list.
std::optional<KnownDifferences> readKnownDifferences(const char* path) {
    const std::optional<std::string> text = readFile(path);
    if (!text) {
        std::cerr << "vorn_bitexact: cannot read known differences " << path << '\n';
        return std::nullopt;
    }
    KnownDifferences known;
    std::istringstream lines(*text);
    std::string line;
    std::optional<std::string> golden;
    std::size_t line_number = 0;
    while (std::getline(lines, line)) {
        ++line_number;
        if (line.empty() || line[0] == '#') continue;
        if (!golden && line.starts_with("- ")) {
            golden = line.substr(2);
        } else if (golden && line.starts_with("+ ")) {
            known[*golden] = {line.substr(2)};
            golden.reset();
        } else {
            std::cerr << "vorn_bitexact: " << path << ':' << line_number << ": expected a \""
                      << (golden ? '+' : '-') << " \" line\n";
            return std::nullopt;
        }
    }
    if (golden) {
        std::cerr << "vorn_bitexact: " << path << ": the last \"- \" line has no \"+ \" line\n";
        return std::nullopt;
    }
    return known;
}

int compareWith(const std::string& actual, const char* golden_path, KnownDifferences known) {
    const std::optional<std::string> golden = readFile(golden_path);
    if (!golden) {
        std::cerr << "vorn_bitexact: cannot read golden file " << golden_path << '\n';
        return 2;
    }
    const std::string& expected = *golden;
    if (expected == actual && known.empty()) return 0;

    std::istringstream want(expected);
    std::istringstream got(actual);
    std::string want_line;
    std::string got_line;
    std::size_t line_number = 0;
    std::size_t shown = 0;
    std::size_t differing = 0;
    std::size_t known_differing = 0;
    while (true) {
        const bool more_want = static_cast<bool>(std::getline(want, want_line));
        const bool more_got = static_cast<bool>(std::getline(got, got_line));
        if (!more_want && !more_got) break;
        ++line_number;
        if (more_want && more_got && want_line == got_line) continue;
        if (more_want && more_got) {
            if (const auto it = known.find(want_line); it != known.end() && it->second.line == got_line) {
                it->second.used = true;
                ++known_differing;
                continue;
            }
        }
        ++differing;
        if (shown < 20) {
            ++shown;
            std::cerr << "line " << line_number << ":\n  golden: " << (more_want ? want_line : "<missing>")
                      << "\n  actual: " << (more_got ? got_line : "<missing>") << '\n';
        }
    }
    std::size_t unused = 0;
    for (const auto& [golden_line, difference] : known) {
        if (difference.used) continue;
        if (++unused <= 20)
            std::cerr << "known difference no result needs:\n  golden: " << golden_line << '\n';
    }
    if (known_differing > 0) {
        std::cerr << "vorn_bitexact: " << known_differing << " of " << line_number
                  << " lines differ as the list of known differences says\n";
    }
    if (differing == 0 && unused == 0) return 0;
    std::cerr << "vorn_bitexact: " << differing << " of " << line_number
              << " lines differ from the golden results in " << golden_path
              << " beyond the known differences; " << unused << " known differences unused\n";
    return 1;
}

// One line per battery entry: its kind, its index and the bit patterns of its doubles.
std::string batteryInputs() {
    const vorn::bitexact::Battery b = vorn::bitexact::makeBattery();
    std::string out;
    const auto bits = [&out](double value) {
        char text[20];
        std::snprintf(text, sizeof text, " %016llx",
                      static_cast<unsigned long long>(std::bit_cast<std::uint64_t>(value)));
        out += text;
    };
    const auto vec = [&bits](vorn::bitexact::HomVec4 v) {
        bits(v.x);
        bits(v.y);
        bits(v.z);
        bits(v.w);
    };
    const auto start = [&out](const char* kind, std::size_t i) { out += kind + (' ' + std::to_string(i)); };
    for (std::size_t i = 0; i < b.scalars.size(); ++i) {
        start("scalar", i);
        bits(b.scalars[i]);
        out += '\n';
    }
    for (std::size_t i = 0; i < b.vectors.size(); ++i) {
        start("vector", i);
        vec(b.vectors[i]);
        out += '\n';
    }
    for (std::size_t i = 0; i < b.pairs.size(); ++i) {
        start("pair", i);
        vec(b.pairs[i].first);
        vec(b.pairs[i].second);
        out += '\n';
    }
    for (std::size_t i = 0; i < b.points.size(); ++i) {
        start("point", i);
        vec(b.points[i]);
        vec(b.tangents[i]);
        out += '\n';
    }
    for (std::size_t i = 0; i < b.matrices.size(); ++i) {
        start("matrix", i);
        for (const double entry : b.matrices[i].data) bits(entry);
        out += '\n';
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string_view(argv[1]) == "--inputs") {
        const std::string inputs = batteryInputs();
        std::fwrite(inputs.data(), 1, inputs.size(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    const std::string results = allResults();
    if (argc == 1) {
        std::fwrite(results.data(), 1, results.size(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (argc == 3 && std::string_view(argv[1]) == "--compare") return compareWith(results, argv[2], {});
    if (argc == 5 && std::string_view(argv[1]) == "--compare" &&
        std::string_view(argv[3]) == "--known-differences") {
        std::optional<KnownDifferences> known = readKnownDifferences(argv[4]);
        if (!known) return 2;
        return compareWith(results, argv[2], std::move(*known));
    }
    std::cerr << "usage: vorn_bitexact [--compare GOLDEN_FILE [--known-differences LIST] | --inputs]\n";
    return 2;
}
