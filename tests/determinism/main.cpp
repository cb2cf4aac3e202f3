// Runs the determinism scene and prints its hash.
//
//   vorn_determinism                  print the hash, the contact count and the frame count
//   vorn_determinism --expect FILE    also compare the hash with the one in FILE
#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>

#include "scene.hpp"

namespace {

constexpr vorn::determinism::SceneSize scene_size{36, 3000};

std::string hexOf(std::uint64_t value) {
    char text[19];
    std::snprintf(text, sizeof text, "%016" PRIx64, value);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    const bool compare = argc == 3 && std::string_view(argv[1]) == "--expect";
    if (argc != 1 && !compare) {
        std::fprintf(stderr, "usage: vorn_determinism [--expect GOLDEN_FILE]\n");
        return 2;
    }
    const vorn::determinism::SceneSummary summary = vorn::determinism::runScene(scene_size);
    const std::string hash = hexOf(summary.hash);
    std::printf("%s\n", hash.c_str());
    std::fprintf(stderr, "%d bodies, %d frames, %llu contacts, hash %s\n", scene_size.bodies,
                 scene_size.frames, static_cast<unsigned long long>(summary.contacts), hash.c_str());
    if (!summary.finite) {
        std::fprintf(stderr, "vorn_determinism: a position or velocity stopped being finite\n");
        return 1;
    }
    if (!compare) return 0;

    std::ifstream file(argv[2]);
    std::string golden;
    if (!(file >> golden)) {
        std::fprintf(stderr, "vorn_determinism: cannot read the golden hash from %s\n", argv[2]);
        return 2;
    }
    if (golden != hash) {
        std::fprintf(stderr, "vorn_determinism: hash %s differs from the golden hash %s\n", hash.c_str(),
                     golden.c_str());
        return 1;
    }
    return 0;
}
