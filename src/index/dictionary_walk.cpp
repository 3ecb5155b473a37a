// The loaded dictionary text walked line after line. The lines of the plain
// shapes (nearly every line of a real index) are read from the positions of
// their structure bytes, listed a chunk at a time: with AVX-512 (byte
// compress) or AVX2 where the processor has them, else with SSE2 compares,
// else byte by byte. Every other line is read token by token.
#include "index/dictionary_lines.h"
#include "platform/vectors.h"

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

#if defined(SITEQUERY_X86_VECTORS)
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

// Where the line walk stands; the context gets the counts at the end.
struct LoadState {
    DictionaryEntry *table;              // g_dictionary
    uint32_t limit;                      // NumKeywords
    PoolFill base, variants;             // the two pools' fill
    uint32_t entries = 0;                // base lines stored so far (n)
    uint32_t variants_due = 0;           // variant lines still expected (R)
    bool first_variant = false;          // the next variant line is the entry's first
    DictionaryEntry *current = nullptr;  // entry the variant lines belong to
    const char *line;                    // the next line's first byte
};

// A line too long for the format: the corrupted-entry message (a long variant
// line belongs to the entry before the count). false for the caller.
bool refuse_long_line(const LoadState &state) {
    print_corrupted_entry(state.variants_due > 0 ? state.entries - 1 : state.entries);
    return false;
}

// Counts a variant line into its word's list (token null: the line stores
// nothing). The first variant line decides whether the word has a list at
// all. false when the pool is full (message printed).
inline bool count_variant_line(LoadState &state, const char *token, int64_t length) {
    if (token != nullptr && !count_variant(state.variants, length + 1)) return false;
    DictionaryEntry &entry = *state.current;
    if (state.first_variant)
        entry.stored_variants = token != nullptr ? 1 : 0;
    else if (token != nullptr && entry.stored_variants > 0)
        entry.stored_variants++;
    state.first_variant = false;
    state.variants_due--;
    return true;
}

// Stores the base line at state.line (its word in place, ending at a byte
// ends_base_word accepts) as the next entry. false after a failure (message
// printed).
inline bool store_base_line(LoadState &state, const BaseLine &base) {
    if (!count_base_word(state.base, base.length + 1)) return false;
    state.current = state.table + state.entries;
    set_entry(*state.current, base.word, base);
    state.variants_due = base.count;
    state.first_variant = true;
    state.entries++;
    if (state.entries > state.limit) {
        print_count_mismatch(state.entries, state.limit);
        return false;
    }
    return true;
}

// Any line from state.line to its LF, read token by token: a variant line
// stores its first token, a base line its word. false after a failure
// (message printed).
bool load_line(LoadState &state, const char *lf) {
    const char *const line = state.line;
    if (lf - line + 1 > kDictionaryMaxLineSize) return refuse_long_line(state);
    if (state.variants_due > 0) {
        int64_t length = 0;
        const char *token = scan_variant(line, true, &length);
        return count_variant_line(state, token, length);
    }
    BaseLine base;
    const int kind = scan_base_line(line, true, &base);
    if (kind == kBaseLineWithoutSpace) {
        print_corrupted_entry(state.entries);
        return false;
    }
    return kind == kBaseLineEmpty || store_base_line(state, base);
}

// What reading a line in its plain shape gave.
enum PlainRead {
    kPlainDone = 0,    // the line was loaded
    kPlainFailed = 1,  // the load fails (message printed)
    kNotPlain = 2,     // the line is of another shape
    kChunkEnds = 3,    // the chunk lists too few positions to tell
};

// A variant line of one token of bytes above ' ' (its first structure byte
// is its LF), short enough to be stored: the whole line is stored.
inline int load_plain_variant_line(LoadState &state, TextChunk &chunk) {
    if (chunk.next >= chunk.count) return kChunkEnds;
    const char *lf = chunk.base + chunk.positions[chunk.next];
    const int64_t length = lf - state.line;
    if (*lf != '\n' || length == 0 || length + 1 > kMaxVariantEntrySize) return kNotPlain;
    const bool loaded = count_variant_line(state, state.line, length);
    chunk.next++;
    state.line = lf + 1;
    return loaded ? kPlainDone : kPlainFailed;
}

// Reads the value of n (1 to 16) digits at p; false when one is no digit.
inline bool read_offset_digits(const char *p, uint32_t n, uint64_t *value) {
    constexpr uint64_t kGroupScale = 100000000;  // 10^8: one group of eight digits
    if (n <= kPlainDigits) return read_digit_group(p, n, value);
    uint64_t head = (uint8_t)(p[0] - '0'), tail;
    // Nine digits (the word maps of large sites) need no second group.
    const bool head_digits =
        n == kPlainDigits + 1 ? head <= 9 : read_digit_group(p, n - kPlainDigits, &head);
    if (!head_digits || !read_digit_group(p + n - kPlainDigits, kPlainDigits, &tail)) return false;
    *value = head * kGroupScale + tail;
    return true;
}

// A base line "word offset count": a word of bytes above ' ', one space, 1
// to 16 digits, one space, one digit, the LF; its structure bytes are the
// two spaces and the LF. Gives exactly what the token-by-token reading gives.
inline int load_plain_base_line(LoadState &state, TextChunk &chunk) {
    constexpr uint32_t kMostOffsetDigits = 2 * kPlainDigits;
    if (chunk.next + 3 > chunk.count) return kChunkEnds;
    const uint16_t *at = chunk.positions + chunk.next;
    const char *first = chunk.base + at[0], *second = chunk.base + at[1], *lf = chunk.base + at[2];
    const uint32_t digits = (uint32_t)(second - first - 1);
    const uint32_t count = (uint32_t)(uint8_t)(second[1] - '0');
    uint64_t offset;
    if (*first != ' ' || *second != ' ' || *lf != '\n' || first == state.line || lf != second + 2 ||
        digits - 1 >= kMostOffsetDigits || count > 9 ||
        !read_offset_digits(first + 1, digits, &offset))
        return kNotPlain;
    BaseLine base;
    base.word = state.line;
    base.length = first - state.line;
    base.offset = (int64_t)offset;
    base.count = count;
    const bool loaded = store_base_line(state, base);
    chunk.next += 3;
    state.line = lf + 1;
    return loaded ? kPlainDone : kPlainFailed;
}

}  // namespace

bool structure_listing_available(int method) {
    if (method == kListWithAvx2) return platform_vector_set() >= kVectorsAvx2;
    if (method == kListWithAvx512) return platform_vector_set() >= kVectorsAvx512;
    return method == kListPortably;
}

uint32_t list_structure_bytes_with(int method, const char *at, uint32_t length,
                                   uint16_t *positions) {
#if defined(SITEQUERY_X86_VECTORS)
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

bool load_lines(SearchContext &c, const char *text, size_t size) {
    LoadState state{c.g_dictionary, c.NumKeywords, base_pool(c), variant_pool(c), 0, 0,
                    false,          nullptr,       text};
    TextChunk chunk;
    const char *const end = text + size;
    int read = kPlainDone;
    while (state.line < end && read != kPlainFailed) {
        read = state.variants_due > 0 ? load_plain_variant_line(state, chunk)
                                      : load_plain_base_line(state, chunk);
        if (read == kPlainDone || read == kPlainFailed) continue;
        // A line a whole chunk from its start cannot tell is read token by token.
        if (read == kChunkEnds && chunk.base != state.line) {
            list_chunk(state.line, end, chunk);
            continue;
        }
        const char *lf = (const char *)memchr(state.line, '\n', (size_t)(end - state.line));
        if (lf == nullptr) break;
        read = load_line(state, lf) ? kPlainDone : kPlainFailed;
        state.line = lf + 1;
        pass_positions_before(state.line, chunk);
    }
    c.g_dictionary_count = state.entries;
    keep_pools(c, state.base, state.variants);
    return read != kPlainFailed;
}

void list_chunk(const char *line, const char *end, TextChunk &chunk) {
    chunk.base = line;
    const size_t left = (size_t)(end - line);
    chunk.count = list_structure_bytes(
        line, left < (size_t)kTextChunkSize ? (uint32_t)left : kTextChunkSize, chunk.positions);
    chunk.next = 0;
}

void pass_positions_before(const char *line, TextChunk &chunk) {
    while (chunk.next < chunk.count && chunk.base + chunk.positions[chunk.next] < line)
        chunk.next++;
}
