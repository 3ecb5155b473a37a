// Byte masks of the dictionary text (SSE2 compares where the processor has
// them, else a byte loop), the plain base line read from its masks, and its
// numbers read eight digits at a time.
#include "index/dictionary_lines.h"

#include <string.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr uint64_t kEveryByte = 0x0101010101010101ull;
constexpr uint64_t kHighBits = 0x8080808080808080ull;
constexpr int kLane = 16;  // bytes of one compare

#if defined(__SSE2__)
// Masks of the 16 bytes at p, each in the low 16 bits.
void lane_masks(const char *p, uint64_t *low, uint64_t *space, uint64_t *lf) {
    const __m128i bytes = _mm_loadu_si128((const __m128i *)p);
    const __m128i spaces = _mm_set1_epi8(' ');
    *low = (uint32_t)_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(bytes, spaces), bytes));
    *space = (uint32_t)_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, spaces));
    *lf = (uint32_t)_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n')));
}
#else
void lane_masks(const char *p, uint64_t *low, uint64_t *space, uint64_t *lf) {
    *low = *space = *lf = 0;
    for (int i = 0; i < kLane; i++) {
        *low |= (uint64_t)((uint8_t)p[i] <= ' ') << i;
        *space |= (uint64_t)(p[i] == ' ') << i;
        *lf |= (uint64_t)(p[i] == '\n') << i;
    }
}
#endif

// Set bits of bits (the processor's own count needs a newer instruction set
// than this program asks for).
inline uint32_t bit_count(uint64_t bits) {
    bits -= (bits >> 1) & 0x5555555555555555ull;
    bits = (bits & 0x3333333333333333ull) + ((bits >> 2) & 0x3333333333333333ull);
    bits = (bits + (bits >> 4)) & 0x0F0F0F0F0F0F0F0Full;
    return (uint32_t)((bits * kEveryByte) >> 56);
}

// The 8 bytes at p with the first in the lowest byte.
uint64_t load_group(const char *p) {
    uint64_t group;
    memcpy(&group, p, sizeof group);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    group = __builtin_bswap64(group);
#endif
    return group;
}

// The value of the first n (1 to 8) bytes of group (first byte lowest) as
// decimal digits in *value; false when one of them is no digit.
inline bool group_value(uint64_t group, uint32_t n, uint64_t *value) {
    constexpr uint64_t kPairMask = 0x000000FF000000FFull;  // digit pairs 0-1 and 4-5
    constexpr uint64_t kHighScale = 100 + (1000000ull << 32);
    constexpr uint64_t kLowScale = 1 + (10000ull << 32);
    const uint32_t drop = 8 * (8 - n);
    // Below '0' the subtraction sets a byte's high bit, above '9' the addition
    // does; a borrow or carry only reaches bytes above a non-digit. Moving the
    // digits up drops the bytes after them and puts zeros (leading zero
    // digits) below them.
    const uint64_t digits = (group - '0' * kEveryByte) << drop;
    const uint64_t outside = (digits | ((group + (0x7F - '9') * kEveryByte) << drop)) & kHighBits;
    uint64_t pairs = digits * 10 + (digits >> 8);
    *value = (((pairs & kPairMask) * kHighScale) + (((pairs >> 16) & kPairMask) * kLowScale)) >> 32;
    return outside == 0;
}

// The value of n (1 to 16) digits at p, or -1 when one of them is no digit.
inline int64_t read_number(const char *p, uint32_t n) {
    constexpr uint64_t kGroupScale = 100000000;  // 10^8: one group of eight digits
    uint64_t head, tail = 0;
    if (n <= 8) return group_value(load_group(p), n, &head) ? (int64_t)head : -1;
    const bool digits = group_value(load_group(p), n - 8, &head) &
                        group_value(load_group(p + n - 8), 8, &tail);
    return digits ? (int64_t)(head * kGroupScale + tail) : -1;
}

}  // namespace

ByteMasks text_block_masks(const char *p, uint64_t *lf) {
    ByteMasks m = {0, 0};
    *lf = 0;
    for (int i = 0; i < kTextBlockSize / kLane; i++) {
        uint64_t low, space, feeds;
        lane_masks(p + i * kLane, &low, &space, &feeds);
        m.low |= low << (i * kLane);
        m.space |= space << (i * kLane);
        *lf |= feeds << (i * kLane);
    }
    return m;
}

uint32_t append_bit_positions(uint64_t bits, uint32_t at, uint16_t *out) {
    constexpr int kUnconditional = 6;  // most blocks hold fewer LFs: no branch per bit
    const uint32_t count = bit_count(bits);
    for (int i = 0; i < kUnconditional; i++) {
        // The top bit keeps the count defined once bits runs out; those
        // positions lie beyond `count` and are overwritten later.
        out[i] = (uint16_t)(at + (uint32_t)__builtin_ctzll(bits | 1ull << 63));
        bits &= bits - 1;
    }
    for (uint32_t i = kUnconditional; i < count; i++) {
        out[i] = (uint16_t)(at + (uint32_t)__builtin_ctzll(bits));
        bits &= bits - 1;
    }
    return count;
}

uint64_t read_digit_group(const char *p, uint32_t n) {
    uint64_t value;
    group_value(load_group(p), n, &value);
    return value;
}

bool read_plain_base_line(const char *line, uint32_t length, const ByteMasks &m,
                          PlainBaseLine *out) {
    const uint64_t before = (1ull << length) - 1;
    const uint64_t spaces = m.space & before;
    const uint64_t second_and_more = spaces & (spaces - 1);
    // Nothing at or below ' ' but two spaces, the first not at the start.
    if ((m.low & before) != spaces || (spaces & 1) != 0 || second_and_more == 0 ||
        (second_and_more & (second_and_more - 1)) != 0)
        return false;
    const uint32_t first = (uint32_t)__builtin_ctzll(spaces);
    const uint32_t second = (uint32_t)__builtin_ctzll(second_and_more);
    const bool negative = line[first + 1] == '-';
    const uint32_t digits = first + 1 + (negative ? 1 : 0);
    const uint32_t offset_digits = second - digits, count_digits = length - second - 1;
    if (offset_digits - 1 >= (uint32_t)kPlainOffsetDigits ||
        count_digits - 1 >= (uint32_t)kPlainCountDigits)
        return false;
    const int64_t offset = read_number(line + digits, offset_digits);
    const int64_t count = read_number(line + second + 1, count_digits);
    if (offset < 0 || count < 0) return false;
    out->word_length = first;
    // Offsets of 16 digits never reach the sign bit.
    out->offset = negative ? -offset : offset;
    out->count = (uint32_t)count;
    return true;
}

void zero_short_run(char *p, uint32_t n) {
#if defined(__SSE2__)
    // Byte i of the mask is 0xFF for i < n: keep nothing of the run.
    alignas(16) static const uint8_t kKeep[2 * kLane] = {
        0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
        0,    0,    0,    0,    0,    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
        0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    for (; n >= (uint32_t)kLane; n -= kLane, p += kLane) _mm_storeu_si128((__m128i *)p, _mm_setzero_si128());
    if (n == 0) return;
    const __m128i keep = _mm_loadu_si128((const __m128i *)(kKeep + kLane - n));
    const __m128i bytes = _mm_loadu_si128((const __m128i *)p);
    _mm_storeu_si128((__m128i *)p, _mm_and_si128(bytes, keep));
#else
    memset(p, 0, n);
#endif
}
