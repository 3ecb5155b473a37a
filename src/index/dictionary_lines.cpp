// The structure bytes of a chunk of the dictionary text, found 64 bytes at a
// time (SSE2 compares where the processor has them, else a byte loop).
#include "index/dictionary_lines.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr int kLane = 16;  // bytes of one compare

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

// Set bits of bits (the processor's own count needs a newer instruction set
// than this program asks for).
inline uint32_t bit_count(uint64_t bits) {
    bits -= (bits >> 1) & 0x5555555555555555ull;
    bits = (bits & 0x3333333333333333ull) + ((bits >> 2) & 0x3333333333333333ull);
    bits = (bits + (bits >> 4)) & 0x0F0F0F0F0F0F0F0Full;
    return (uint32_t)((bits * 0x0101010101010101ull) >> 56);
}

}  // namespace

uint32_t list_structure_bytes(const char *at, uint32_t length, uint16_t *positions) {
    constexpr int kUnconditional = 8;  // most blocks hold fewer: no branch per bit
    uint32_t count = 0;
    for (uint32_t block = 0; block < length; block += kTextBlockSize) {
        uint64_t bits = structure_mask(at + block);
        if (length - block < (uint32_t)kTextBlockSize) bits &= (1ull << (length - block)) - 1;
        const uint32_t found = bit_count(bits);
        uint16_t *out = positions + count;
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
        count += found;
    }
    return count;
}
