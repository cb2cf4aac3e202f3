// The correctly rounded functions on arguments given as bits (16 hex digits), two ways:
//
//   vorn_correct_rounding_driver            reads "function argument [argument]" lines on stdin
//                                           and writes "result path" for each, path being s
//                                           (special), f (fast) or a (accurate): for
//                                           tests/math/check_correct_rounding.py
//   vorn_correct_rounding_driver --expect FILE
//                                           reads "function argument [argument] result" lines
//                                           and fails on any result that differs (a NaN
//                                           matches a NaN): the same bits on every target

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "evaluation_path.hpp"

namespace {

using vorn::math::detail::EvaluationPath;

double fromBits(unsigned long long bits) { return std::bit_cast<double>(static_cast<std::uint64_t>(bits)); }
unsigned long long toBits(double x) { return std::bit_cast<std::uint64_t>(x); }

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

bool isBinary(const char* name) { return std::strcmp(name, "atan2") == 0 || std::strcmp(name, "pow") == 0; }

// Evaluates name at x (and y); false for an unknown name.
bool evaluate(const char* name, double x, double y, double& result, EvaluationPath& path) {
    namespace d = vorn::math::detail;
    if (std::strcmp(name, "sin") == 0) {
        result = d::sinWithPath(x, path);
    } else if (std::strcmp(name, "cos") == 0) {
        result = d::cosWithPath(x, path);
    } else if (std::strcmp(name, "acos") == 0) {
        result = d::acosWithPath(x, path);
    } else if (std::strcmp(name, "atan") == 0) {
        result = d::atanWithPath(x, path);
    } else if (std::strcmp(name, "atan2") == 0) {
        result = d::atan2WithPath(x, y, path);
    } else if (std::strcmp(name, "pow") == 0) {
        result = d::powWithPath(x, y, path);
    } else {
        return false;
    }
    return true;
}

int printResults() {
    char name[16];
    unsigned long long a = 0;
    unsigned long long b = 0;
    char line[128];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
        int fields = std::sscanf(line, "%15s %llx %llx", name, &a, &b);
        EvaluationPath path = EvaluationPath::special;
        double result = 0.0;
        if (fields != (isBinary(name) ? 3 : 2) || !evaluate(name, fromBits(a), fromBits(b), result, path)) {
            std::fprintf(stderr, "bad line: %s", line);
            return 2;
        }
        std::printf("%016llx %c\n", toBits(result), pathLetter(path));
    }
    return 0;
}

int checkExpected(const char* fileName) {
    std::FILE* file = std::fopen(fileName, "r");
    if (file == nullptr) {
        std::fprintf(stderr, "cannot read %s\n", fileName);
        return 2;
    }
    char name[16];
    unsigned long long v[3] = {0, 0, 0};
    char line[128];
    long checked = 0;
    long wrong = 0;
    int status = 0;
    while (std::fgets(line, sizeof line, file) != nullptr) {
        int fields = std::sscanf(line, "%15s %llx %llx %llx", name, &v[0], &v[1], &v[2]);
        bool binary = isBinary(name);
        EvaluationPath path = EvaluationPath::special;
        double result = 0.0;
        if (fields != (binary ? 4 : 3) || !evaluate(name, fromBits(v[0]), fromBits(v[1]), result, path)) {
            std::fprintf(stderr, "bad line: %s", line);
            status = 2;
            break;
        }
        double expected = fromBits(binary ? v[2] : v[1]);
        ++checked;
        if (toBits(result) != toBits(expected) && !(std::isnan(result) && std::isnan(expected))) {
            if (++wrong <= 20)
                std::printf("WRONG %.*s -> %016llx\n", static_cast<int>(std::strcspn(line, "\n")), line,
                            toBits(result));
        }
    }
    std::fclose(file);
    if (status != 0) return status;
    std::printf("%ld results, %ld wrong\n", checked, wrong);
    return wrong == 0 && checked > 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--expect") == 0) return checkExpected(argv[2]);
    if (argc == 1) return printResults();
    std::fprintf(stderr, "usage: %s [--expect FILE]\n", argv[0]);
    return 2;
}
