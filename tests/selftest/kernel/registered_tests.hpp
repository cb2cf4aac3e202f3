// The registered tests of vorn_kernel, in run order.
#pragma once

#include <array>

#include "vorn_testing.hpp"

namespace vorn_kernel::registered {

void homVec4ConstructorsAndCartesian();
void homVec4NormalizationOnS3();
void homVec4DotAndIsSamePoint();
void homVec4AntipodalCheck();
void homVec4AffineCardSelection();
void fubiniStudyKnownValues();
void pgl4IdentityAction();
void pgl4Determinant();
void pgl4TranslationAndScale();
void pgl4NewtonSchulzInverse();
void pgl4NormalizeDet();
void pgl4RotationPreservesNorm();
void simdDot4AndNormalize();
void cordicInverseSqrt();
void resonanceIsAntisymmetric();
void projectorIsIdempotent();
void deformedProductWithZeroEpsilonIsMul();
void weightRoundTrip();
void pgl4FromHomogeneousAcceptsRegular();

inline constexpr std::array<vorn::testing::TestCase, 19> tests{{
    {"vorn_kernel.test.HomVec4: constructors and cartesian dehomogenization",
     homVec4ConstructorsAndCartesian},
    {"vorn_kernel.test.HomVec4: normalization on S³", homVec4NormalizationOnS3},
    {"vorn_kernel.test.HomVec4: dot product and isSamePoint", homVec4DotAndIsSamePoint},
    {"vorn_kernel.test.HomVec4: antipodal check Z/2Z", homVec4AntipodalCheck},
    {"vorn_kernel.test.HomVec4: affine card selection", homVec4AffineCardSelection},
    {"vorn_kernel.test.Fubini-Study distance: known values", fubiniStudyKnownValues},
    {"vorn_kernel.test.PGL4: identity action", pgl4IdentityAction},
    {"vorn_kernel.test.PGL4: determinant", pgl4Determinant},
    {"vorn_kernel.test.PGL4: translation and scale", pgl4TranslationAndScale},
    {"vorn_kernel.test.PGL4: Newton-Schulz inverse", pgl4NewtonSchulzInverse},
    {"vorn_kernel.test.PGL4: normalizeDet → det ≈ 1", pgl4NormalizeDet},
    {"vorn_kernel.test.PGL4: rotation preserves norm", pgl4RotationPreservesNorm},
    {"vorn_kernel.test.SIMD: dot4 and normalize", simdDot4AndNormalize},
    {"vorn_kernel.test.CORDIC inverse sqrt", cordicInverseSqrt},
    {"vorn_kernel.test.Resonance J = A − Aᵀ is antisymmetric", resonanceIsAntisymmetric},
    {"vorn_kernel.test.Projector Π_Λ is idempotent: Π² = Π", projectorIsIdempotent},
    {"vorn_kernel.test.Deformed tensor product: ε=0 is standard mul", deformedProductWithZeroEpsilonIsMul},
    {"vorn_kernel.test.w_from_distance / s_from_W round-trip", weightRoundTrip},
    {"vorn_kernel.test.PGL4 comptime: pglFromHomogeneous rejects singular",
     pgl4FromHomogeneousAcceptsRegular},
}};

}  // namespace vorn_kernel::registered
