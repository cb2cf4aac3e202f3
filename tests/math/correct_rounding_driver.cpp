// Reads "function argument-bits [argument-bits]" lines (bits as 16 hex digits) on stdin and
// writes "result-bits path" for each, path being s (special), f (fast) or a (accurate), for
// tests/math/check_correct_rounding.py.

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "evaluation_path.hpp"

namespace {

using vorn::math::detail::EvaluationPath;

double fromBits(unsigned long long bits) { return std::bit_cast<double>(static_cast<std::uint64_t>(bits)); }

char pathLetter(EvaluationPath path) {
    switch (path) {
        case EvaluationPath::special:
            return 's';
        case EvaluationPath::fast:
            return 'f';
        case EvaluationPath::accurate:
            return 'a';
    }
    return '?';
}

}  // namespace

int main() {
    char name[16];
    unsigned long long a = 0;
    unsigned long long b = 0;
    char line[128];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
        int fields = std::sscanf(line, "%15s %llx %llx", name, &a, &b);
        if (fields < 2) {
            std::fprintf(stderr, "bad line: %s", line);
            return 2;
        }
        EvaluationPath path = EvaluationPath::special;
        double result = 0.0;
        double x = fromBits(a);
        if (std::strcmp(name, "sin") == 0) {
            result = vorn::math::detail::sinWithPath(x, path);
        } else if (std::strcmp(name, "cos") == 0) {
            result = vorn::math::detail::cosWithPath(x, path);
        } else if (std::strcmp(name, "acos") == 0) {
            result = vorn::math::detail::acosWithPath(x, path);
        } else if (std::strcmp(name, "atan") == 0) {
            result = vorn::math::detail::atanWithPath(x, path);
        } else if (std::strcmp(name, "atan2") == 0 && fields == 3) {
            result = vorn::math::detail::atan2WithPath(x, fromBits(b), path);
        } else if (std::strcmp(name, "pow") == 0 && fields == 3) {
            result = vorn::math::detail::powWithPath(x, fromBits(b), path);
        } else {
            std::fprintf(stderr, "unknown function: %s\n", name);
            return 2;
        }
        std::printf("%016llx %c\n", static_cast<unsigned long long>(std::bit_cast<std::uint64_t>(result)),
                    pathLetter(path));
    }
    return 0;
}
