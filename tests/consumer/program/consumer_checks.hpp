// Checks that live in a second translation unit, which includes the headers by bare name.
#pragma once

namespace consumer {

// rk4Integrate over a caller-supplied memory resource, compared with the closed form.
bool integratedQuarterTurnMatchesExact();

// HomVec4::dot is inline, so it is compiled with this program's flags. The package carries
// -ffp-contract=off; without it a compiler may fuse the products into multiply-adds and
// change the last bits. Where the processor has FMA the check compiles the dot product for it.
bool inlineDotKeepsItsRounding();

}  // namespace consumer
