#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <vector>

#include "random_points.hpp"
#include "support/same_bits.hpp"
#include "vorn_motion.hpp"

namespace {

using vorn::test::sameBits;
using vorn_kernel::AffineCard;
using vorn_kernel::HomVec4;
using vorn_motion::Point3;
using vorn_motion::StereographicPole;

bool hasNoImage(Point3 p) { return std::isnan(p.x) && std::isnan(p.y) && std::isnan(p.z); }

// From the pole −w the image is (x, y, z) / (1 + w) to the bit; from any pole the point comes
// back from its image by the inverse map 2P/(1 + |P|²) in the frame plus (|P|² − 1)/(|P|² + 1)
// times the pole, which holds only if the frame is orthonormal and orthogonal to the pole.
TEST(Stereographic, InvertsToThePointFromAnyPole) {
    vorn::motion_test::RandomPoints random(8);
    const StereographicPole south = StereographicPole::at({0, 0, 0, -1}, 1e6);
    for (int trial = 0; trial < 100; ++trial) {
        const HomVec4 p = random.unitPoint();
        const Point3 image = vorn_motion::stereographic(p, south);
        EXPECT_TRUE(sameBits(p.x / (1.0 + p.w), image.x));
        EXPECT_TRUE(sameBits(p.z / (1.0 + p.w), image.z));

        const StereographicPole pole = StereographicPole::at(3.0 * random.unitPoint(), 1e6);
        const Point3 q = vorn_motion::stereographic(p, pole);
        const double r2 = (q.x * q.x + q.y * q.y) + q.z * q.z;
        const double k = 2.0 / (1.0 + r2);
        const HomVec4 back = (k * q.x) * pole.e1 + (k * q.y) * pole.e2 + (k * q.z) * pole.e3 +
                             ((r2 - 1.0) / (r2 + 1.0)) * pole.pole;
        EXPECT_NEAR(p.x, back.x, 1e-12);
        EXPECT_NEAR(p.y, back.y, 1e-12);
        EXPECT_NEAR(p.z, back.z, 1e-12);
        EXPECT_NEAR(p.w, back.w, 1e-12);
    }
}

TEST(Stereographic, NoImageAtOrNearThePole) {
    const StereographicPole pole = StereographicPole::at({0, 0, 0, -1}, 100.0);
    EXPECT_TRUE(hasNoImage(vorn_motion::stereographic({0, 0, 0, -1}, pole)));
    // |image| = cot(θ/2) for the angle θ from the pole: 200 at θ = 0.01, 20 at θ = 0.1.
    EXPECT_TRUE(hasNoImage(vorn_motion::stereographic({std::sin(0.01), 0, 0, -std::cos(0.01)}, pole)));
    EXPECT_NEAR(20.0, vorn_motion::stereographic({std::sin(0.1), 0, 0, -std::cos(0.1)}, pole).x, 0.05);
    EXPECT_TRUE(
        hasNoImage(vorn_motion::stereographic({std::numeric_limits<double>::quiet_NaN(), 0, 0, 1}, pole)));
    const std::vector<HomVec4> in{{0, 0, 0, 1}, {0, 0, 0, -1}, {1, 0, 0, 0}};
    std::vector<Point3> out(3);
    EXPECT_EQ(1u, vorn_motion::stereographic(in, out, pole));
    EXPECT_EQ(1.0, out[2].x);
    std::vector<Point3> short_out(2);
    EXPECT_THROW(vorn_motion::stereographic(in, short_out, pole), std::invalid_argument);
}

TEST(Gnomonic, DividesByTheChartCoordinateAndStopsAtItsZeroSet) {
    const HomVec4 p{1, 2, 4, 8};
    const Point3 w = vorn_motion::gnomonic(p, AffineCard::UW, 10);
    EXPECT_EQ(0.125, w.x);
    EXPECT_EQ(0.5, w.z);
    const Point3 x = vorn_motion::gnomonic(p, AffineCard::UX, 10);
    EXPECT_EQ(2.0, x.x);
    EXPECT_EQ(8.0, x.z);
    EXPECT_EQ(0.5, vorn_motion::gnomonic(p, AffineCard::UY, 10).x);
    EXPECT_EQ(2.0, vorn_motion::gnomonic(p, AffineCard::UZ, 10).z);
    EXPECT_EQ(w.y, vorn_motion::gnomonic(-p, AffineCard::UW, 10).y);
    EXPECT_TRUE(hasNoImage(vorn_motion::gnomonic(p, AffineCard::UX, 5)));
    EXPECT_TRUE(hasNoImage(vorn_motion::gnomonic({1, 0, 0, 0}, AffineCard::UW, 1e300)));
    const std::vector<HomVec4> in{p, {1, 0, 0, 0}};
    std::vector<Point3> out(2);
    EXPECT_EQ(1u, vorn_motion::gnomonic(in, out, p.pickBestCard(), 10));
}

// The Hopf map lands on the unit sphere and is constant along each fibre.
TEST(Hopf, MapsFibresToSinglePointsOfTheUnitSphere) {
    vorn::motion_test::RandomPoints random(9);
    for (int trial = 0; trial < 100; ++trial) {
        const HomVec4 p = random.unitPoint();
        const Point3 h = vorn_motion::hopf(p);
        EXPECT_NEAR(1.0, std::sqrt((h.x * h.x + h.y * h.y) + h.z * h.z), 1e-15);
        // (e^{iφ}z1, e^{iφ}z2) with z1 = x + iy, z2 = z + iw.
        const double c = std::cos(trial), s = std::sin(trial);
        const Point3 g =
            vorn_motion::hopf({c * p.x - s * p.y, s * p.x + c * p.y, c * p.z - s * p.w, s * p.z + c * p.w});
        EXPECT_NEAR(h.x, g.x, 1e-15);
        EXPECT_NEAR(h.y, g.y, 1e-15);
        EXPECT_NEAR(h.z, g.z, 1e-15);
    }
    const std::vector<HomVec4> in{{0, 0, 0, 1}};
    std::vector<Point3> out(1);
    vorn_motion::hopf(in, out);
    EXPECT_EQ(-1.0, out[0].z);
}

}  // namespace
