// Whether this x86 CPU and its operating system can run the AVX2 and AVX-512 builds of the
// vector code.
// x86 only: the lane layer includes it only there.
//
// The answer comes from what the C library's loader already learnt at start-up. Asking the
// CPU again, as the compiler runtime's feature check does from a constructor in every program
// that uses it, costs a trap to the host per CPUID instruction in a virtual machine
// (docs/performance.md has the figure).
#pragma once

#if !defined(__x86_64__) && !defined(__i386__)
#error "cpu_features.hpp asks about x86 features; include it only on x86"
#endif

#if __has_include(<sys/platform/x86.h>)
// The header spells its results _Bool, which clang++ does not take in C++.
#ifdef __clang__
// NOLINTNEXTLINE(bugprone-reserved-identifier): the header's own spelling, for its duration
#define _Bool bool
#include <sys/platform/x86.h>
#undef _Bool
#else
#include <sys/platform/x86.h>
#endif
#define VORN_CPU_FEATURES_FROM_LOADER 1
#endif

namespace vorn_kernel::detail {

inline bool cpuHasAvx2() {
#ifdef VORN_CPU_FEATURES_FROM_LOADER
    static const bool avx2 = CPU_FEATURE_ACTIVE(AVX2);
#else
    static const bool avx2 = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
#endif
    return avx2;
}

// AVX-512 F, DQ and VL together (the AVX-512 build's target).
inline bool cpuHasAvx512() {
#ifdef VORN_CPU_FEATURES_FROM_LOADER
    static const bool avx512 =
        CPU_FEATURE_ACTIVE(AVX512F) && CPU_FEATURE_ACTIVE(AVX512DQ) && CPU_FEATURE_ACTIVE(AVX512VL);
#else
    static const bool avx512 = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx512f") != 0 && __builtin_cpu_supports("avx512dq") != 0 &&
               __builtin_cpu_supports("avx512vl") != 0;
    }();
#endif
    return avx512;
}

}  // namespace vorn_kernel::detail
