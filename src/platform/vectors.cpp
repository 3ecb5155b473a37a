// The processor dispatch of the vector kernels: which instruction set this
// processor offers, asked once for every kernel alike.
#include "platform/vectors.h"

int platform_vector_set() {
#if defined(SITEQUERY_X86_VECTORS)
    __builtin_cpu_init();
    if (!__builtin_cpu_supports("popcnt")) return kVectorsNone;
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512vbmi2"))
        return kVectorsAvx512;
    if (__builtin_cpu_supports("avx2")) return kVectorsAvx2;
#endif
    return kVectorsNone;
}
