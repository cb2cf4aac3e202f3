// The self-checking executable: the runner over the table of registered tests.
#include "test_table.hpp"
#include "vorn_geodesic/registered_tests.hpp"
#include "vorn_kernel/registered_tests.hpp"
#include "vorn_physics/registered_tests.hpp"
#include "vorn_runner.hpp"

namespace {

// Run order: physics, then the projective kernel, then geodesics.
constexpr auto registered_tests = vorn::runner::joinTestLists(
    vorn_physics::registered::tests, vorn_kernel::registered::tests, vorn_geodesic::registered::tests);
static_assert(registered_tests.size() == 41, "the table holds the 41 registered tests");

}  // namespace

int main(int argc, char** argv) { return vorn::runner::run(argc, argv, registered_tests); }
