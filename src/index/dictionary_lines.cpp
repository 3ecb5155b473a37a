// The structure bytes of a chunk of the dictionary text, found 64 bytes at a
// time: with AVX-512 (byte compress) or AVX2 where the processor has them,
// else with SSE2 compares, else byte by byte.
#include "index/dictionary_lines.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
// GCC 12's AVX-512 casts leave a vector undefined on purpose and then warn
// about it where they are inlined.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop
#define SITEQUERY_AVX2_LISTING 1
#endif

namespace {

constexpr int kLane = 16;  // bytes of one SSE2 compare

#if defined(__SSE2__)
// Bit i for each byte at or below ' ' among the 64 bytes at p.
uint64_t structure_mask(const char *p) {
    const __m128i space = _mm_set1_epi8(' ');
    uint64_t mask = 0;
    for (int i = 0; i < kTextBlockSize / kLane; i++) {
        const __m128i bytes = _mm_loadu_si128((const __m128i *)(p + i * kLane));
        const __m128i low = _mm_cmpeq_epi8(_mm_min_epu8(bytes, space), bytes);
        mask |= (uint64_t)(uint32_t)_mm_movemask_epi8(low) << (i * kLane);
    }
    return mask;
}
#else
uint64_t structure_mask(const char *p) {
    uint64_t mask = 0;
    for (int i = 0; i < kTextBlockSize; i++) mask |= (uint64_t)((uint8_t)p[i] <= ' ') << i;
    return mask;
}
#endif

// Set bits of bits, without the processor's own count.
inline uint32_t bit_count(uint64_t bits) {
    bits -= (bits >> 1) & 0x5555555555555555ull;
    bits = (bits & 0x3333333333333333ull) + ((bits >> 2) & 0x3333333333333333ull);
    bits = (bits + (bits >> 4)) & 0x0F0F0F0F0F0F0F0Full;
    return (uint32_t)((bits * 0x0101010101010101ull) >> 56);
}

// The bits a block of `length` - block bytes keeps (all when it is whole).
inline uint64_t within(uint32_t block, uint32_t length) {
    return length - block < (uint32_t)kTextBlockSize ? (1ull << (length - block)) - 1 : ~0ull;
}

// Writes the positions of the `found` set bits of bits, each plus block, to out.
inline void append_positions(uint64_t bits, uint32_t found, uint32_t block, uint16_t *out) {
    constexpr int kUnconditional = 8;  // most blocks hold fewer: no branch per bit
    for (int i = 0; i < kUnconditional; i++) {
        // The top bit keeps the count defined once bits runs out; those
        // positions lie beyond `found` and are overwritten later.
        out[i] = (uint16_t)(block + (uint32_t)__builtin_ctzll(bits | 1ull << 63));
        bits &= bits - 1;
    }
    for (uint32_t i = kUnconditional; i < found; i++) {
        out[i] = (uint16_t)(block + (uint32_t)__builtin_ctzll(bits));
        bits &= bits - 1;
    }
}

uint32_t list_with_sse2(const char *at, uint32_t length, uint16_t *positions) {
    uint32_t count = 0;
    for (uint32_t block = 0; block < length; block += kTextBlockSize) {
        const uint64_t bits = structure_mask(at + block) & within(block, length);
        const uint32_t found = bit_count(bits);
        append_positions(bits, found, block, positions + count);
        count += found;
    }
    return count;
}

#if defined(SITEQUERY_AVX2_LISTING)
__attribute__((target("avx2,popcnt"))) uint32_t list_with_avx2(const char *at, uint32_t length,
                                                               uint16_t *positions) {
    constexpr int kWideLane = 32;  // bytes of one AVX2 compare
    const __m256i space = _mm256_set1_epi8(' ');
    uint32_t count = 0;
    for (uint32_t block = 0; block < length; block += kTextBlockSize) {
        uint64_t bits = 0;
        for (int i = 0; i < kTextBlockSize / kWideLane; i++) {
            const __m256i bytes = _mm256_loadu_si256((const __m256i *)(at + block + i * kWideLane));
            const __m256i low = _mm256_cmpeq_epi8(_mm256_min_epu8(bytes, space), bytes);
            bits |= (uint64_t)(uint32_t)_mm256_movemask_epi8(low) << (i * kWideLane);
        }
        bits &= within(block, length);
        const uint32_t found = (uint32_t)__builtin_popcountll(bits);
        append_positions(bits, found, block, positions + count);
        count += found;
    }
    return count;
}

// One compare per block, and the positions packed by the processor: the
// indexes 0 to 63 of the bytes found, widened to 16 bits.
__attribute__((target("avx512f,avx512bw,avx512vbmi2,popcnt"))) uint32_t list_with_avx512(
    const char *at, uint32_t length, uint16_t *positions) {
    constexpr int kHalf = kTextBlockSize / 2;  // positions one widening gives
    alignas(64) static const uint8_t kIndexes[kTextBlockSize] = {
        0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21,
        22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43,
        44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 62, 63};
    const __m512i indexes = _mm512_load_si512((const void *)kIndexes);
    const __m512i space = _mm512_set1_epi8(' ');
    uint32_t count = 0;
    for (uint32_t block = 0; block < length; block += kTextBlockSize) {
        const __m512i bytes = _mm512_loadu_si512((const void *)(at + block));
        const uint64_t bits = _mm512_cmple_epu8_mask(bytes, space) & within(block, length);
        const __m512i packed = _mm512_maskz_compress_epi8(bits, indexes);
        const __m512i base = _mm512_set1_epi16((short)block);
        uint16_t *out = positions + count;
        _mm512_storeu_si512(
            (void *)out,
            _mm512_add_epi16(_mm512_cvtepu8_epi16(_mm512_castsi512_si256(packed)), base));
        const uint32_t found = (uint32_t)__builtin_popcountll(bits);
        if (found > (uint32_t)kHalf)
            _mm512_storeu_si512(
                (void *)(out + kHalf),
                _mm512_add_epi16(_mm512_cvtepu8_epi16(_mm512_extracti64x4_epi64(packed, 1)), base));
        count += found;
    }
    return count;
}
#endif

}  // namespace

bool structure_listing_available(int method) {
#if defined(SITEQUERY_AVX2_LISTING)
    __builtin_cpu_init();
    if (method == kListWithAvx2)
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
    if (method == kListWithAvx512)
        return __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi2") &&
               __builtin_cpu_supports("popcnt");
#endif
    return method == kListPortably;
}

uint32_t list_structure_bytes_with(int method, const char *at, uint32_t length,
                                   uint16_t *positions) {
#if defined(SITEQUERY_AVX2_LISTING)
    if (method == kListWithAvx512) return list_with_avx512(at, length, positions);
    if (method == kListWithAvx2) return list_with_avx2(at, length, positions);
#endif
    (void)method;
    return list_with_sse2(at, length, positions);
}

uint32_t list_structure_bytes(const char *at, uint32_t length, uint16_t *positions) {
    static const int best = structure_listing_available(kListWithAvx512) ? kListWithAvx512
                            : structure_listing_available(kListWithAvx2) ? kListWithAvx2
                                                                         : kListPortably;
    return list_structure_bytes_with(best, at, length, positions);
}
