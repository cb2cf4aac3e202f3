// Prints the hash of the world's attractor-only scene and exits with 1 where it is not the
// expected one: the cross gates run it on their targets.
#include <cinttypes>
#include <cstdio>

#include "attractor_scene.hpp"

int main() {
    const std::uint64_t hash = vorn::world_test::attractorSceneHash();
    std::printf("%016" PRIx64 "\n", hash);
    if (hash == vorn::world_test::attractor_scene_hash) return 0;
    std::fprintf(stderr, "vorn_world_attractor_hash: expected %016" PRIx64 "\n",
                 vorn::world_test::attractor_scene_hash);
    return 1;
}
