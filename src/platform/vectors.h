// The processor's vector instructions: SSE2 where the compiler targets it,
// and on x86 with GCC or Clang the AVX2 and AVX-512 intrinsics, for routines
// compiled for those instruction sets one by one (target attributes) and
// called only where the processor has them.
#pragma once

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
// GCC 12's AVX-512 casts leave a vector undefined on purpose and then warn
// about it where they are inlined.
#pragma GCC diagnostic push
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#pragma GCC diagnostic pop
#define SITEQUERY_X86_VECTORS 1
#endif

// The vector instruction sets the kernels are written for, each including
// the one before it.
enum PlatformVectorSet {
    kVectorsNone = 0,    // the portable code alone
    kVectorsAvx2 = 1,    // AVX2 and POPCNT
    kVectorsAvx512 = 2,  // also AVX-512 F, BW and VBMI2
};
// The widest of them that this processor offers (a PlatformVectorSet): the
// one place the program asks the processor. kVectorsNone where the compiler
// has no x86 vector intrinsics.
int platform_vector_set();
