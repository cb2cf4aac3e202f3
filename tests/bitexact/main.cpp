// Prints every kernel operation's result on the fixed battery as exact bit patterns.
//
//   vorn_bitexact                   write the lines to standard output
//   vorn_bitexact --compare FILE    compare them with FILE byte for byte; on a difference,
//                                   show the first differing lines and exit with status 1
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>

#include "battery.hpp"
#include "ops.hpp"

namespace {

std::string allResults() {
    const bitexact::Battery battery = bitexact::makeBattery();
    std::string out;
    bitexact::printKernelOps(battery, out);
    bitexact::printGeodesicOps(battery, out);
    bitexact::printPhysicsOps(battery, out);
    bitexact::printHugeInputOps(battery, out);
    return out;
}

int compareWith(const std::string& actual, const char* golden_path) {
    std::ifstream file(golden_path, std::ios::binary);
    if (!file) {
        std::cerr << "vorn_bitexact: cannot read golden file " << golden_path << '\n';
        return 2;
    }
    const std::string expected{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (expected == actual) return 0;

    std::istringstream want(expected);
    std::istringstream got(actual);
    std::string want_line;
    std::string got_line;
    std::size_t line_number = 0;
    std::size_t shown = 0;
    std::size_t differing = 0;
    while (true) {
        const bool more_want = static_cast<bool>(std::getline(want, want_line));
        const bool more_got = static_cast<bool>(std::getline(got, got_line));
        if (!more_want && !more_got) break;
        ++line_number;
        if (more_want && more_got && want_line == got_line) continue;
        ++differing;
        if (shown < 20) {
            ++shown;
            std::cerr << "line " << line_number << ":\n  golden: " << (more_want ? want_line : "<missing>")
                      << "\n  actual: " << (more_got ? got_line : "<missing>") << '\n';
        }
    }
    std::cerr << "vorn_bitexact: " << differing << " of " << line_number
              << " lines differ from the golden results in " << golden_path << '\n';
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string results = allResults();
    if (argc == 1) {
        std::fwrite(results.data(), 1, results.size(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (argc == 3 && std::string_view(argv[1]) == "--compare") return compareWith(results, argv[2]);
    std::cerr << "usage: vorn_bitexact [--compare GOLDEN_FILE]\n";
    return 2;
}
