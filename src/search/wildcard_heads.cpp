// Where a wildcard's literal head may start a text of the loaded dictionary.
// A wildcard is matched against every word and variant, and the dictionary
// text is not sorted: the whole text is passed over once per pattern, a
// vector of bytes at a time (64 with AVX-512, 32 with AVX2 where the
// processor has them, else 16 with SSE2), and only the positions whose byte
// is the head's first and whose byte before is a separator are tried.
#include "platform/vectors.h"
#include "search/search.h"

namespace {

// Where a seek stands and what it looks for.
struct HeadSeek {
    const char *p;       // the next position to try (the byte before it is readable)
    const char *end;     // no position at or past it is tried
    unsigned char lead;  // the head's first byte as compared
    uint8_t case_bit;    // 0x20 when a letter lead matches either case, else 0
};

// Whether the head's bytes stand at p (the comparison stops at the first
// differing byte: at the latest the zero bytes behind the text).
inline bool head_at(const char *p, const WildcardHead &head) {
    for (size_t i = 0; i < head.length; i++)
        if (folded(p[i], head.case_sensitive) != folded(head.bytes[i], head.case_sensitive))
            return false;
    return true;
}

// The first of the positions in bits (bit i: p + i) where the head stands, or null.
template <typename Bits>
inline const char *first_head(Bits bits, const char *p, const WildcardHead &head) {
    for (; bits != 0; bits &= bits - 1) {
        const char *candidate = p + __builtin_ctzll((unsigned long long)bits);
        if (head_at(candidate, head)) return candidate;
    }
    return nullptr;
}

// Each pass below tries whole vectors from seek.p on and leaves seek.p at the
// first position it has not tried; the head's position, or null.

const char *pass_sse2(HeadSeek &seek, const WildcardHead &head) {
#if defined(__SSE2__)
    constexpr int kWidth = 16;
    const __m128i separator = _mm_set1_epi8(' ');
    const __m128i case_bit = _mm_set1_epi8((char)seek.case_bit);
    const __m128i wanted = _mm_set1_epi8((char)seek.lead);
    for (; seek.p + kWidth <= seek.end; seek.p += kWidth) {
        const __m128i before = _mm_loadu_si128((const __m128i *)(seek.p - 1));
        const __m128i bytes = _mm_or_si128(_mm_loadu_si128((const __m128i *)seek.p), case_bit);
        const __m128i starts = _mm_cmpeq_epi8(_mm_min_epu8(before, separator), before);
        const unsigned bits =
            (unsigned)_mm_movemask_epi8(_mm_and_si128(starts, _mm_cmpeq_epi8(bytes, wanted)));
        if (const char *found = first_head(bits, seek.p, head)) return found;
    }
#else
    (void)seek;
    (void)head;
#endif
    return nullptr;
}

#if defined(SITEQUERY_X86_VECTORS)
__attribute__((target("avx2"))) const char *pass_avx2(HeadSeek &seek, const WildcardHead &head) {
    constexpr int kWidth = 32;
    const __m256i separator = _mm256_set1_epi8(' ');
    const __m256i case_bit = _mm256_set1_epi8((char)seek.case_bit);
    const __m256i wanted = _mm256_set1_epi8((char)seek.lead);
    for (; seek.p + kWidth <= seek.end; seek.p += kWidth) {
        const __m256i before = _mm256_loadu_si256((const __m256i *)(seek.p - 1));
        const __m256i bytes =
            _mm256_or_si256(_mm256_loadu_si256((const __m256i *)seek.p), case_bit);
        const __m256i starts = _mm256_cmpeq_epi8(_mm256_min_epu8(before, separator), before);
        const uint32_t bits = (uint32_t)_mm256_movemask_epi8(
            _mm256_and_si256(starts, _mm256_cmpeq_epi8(bytes, wanted)));
        if (const char *found = first_head(bits, seek.p, head)) return found;
    }
    return nullptr;
}

__attribute__((target("avx512f,avx512bw"))) const char *pass_avx512(HeadSeek &seek,
                                                                    const WildcardHead &head) {
    constexpr int kWidth = 64;
    const __m512i separator = _mm512_set1_epi8(' ');
    const __m512i case_bit = _mm512_set1_epi8((char)seek.case_bit);
    const __m512i wanted = _mm512_set1_epi8((char)seek.lead);
    for (; seek.p + kWidth <= seek.end; seek.p += kWidth) {
        const __m512i before = _mm512_loadu_si512((const void *)(seek.p - 1));
        const __m512i bytes = _mm512_or_si512(_mm512_loadu_si512((const void *)seek.p), case_bit);
        const uint64_t bits =
            _mm512_cmple_epu8_mask(before, separator) & _mm512_cmpeq_epi8_mask(bytes, wanted);
        if (const char *found = first_head(bits, seek.p, head)) return found;
    }
    return nullptr;
}
#endif

}  // namespace

bool head_scan_available(int method) {
    if (method == kScanWithAvx2) return platform_vector_set() >= kVectorsAvx2;
    if (method == kScanWithAvx512) return platform_vector_set() >= kVectorsAvx512;
    return method == kScanPortably;
}

const char *next_head_start_with(int method, const char *at, const char *end,
                                 const WildcardHead &head) {
    if (at < end && head_at(at, head)) return at;
    const unsigned char lead = (unsigned char)folded(head.bytes[0], head.case_sensitive);
    // A letter matches either case unless the case counts: one bit apart.
    const bool either_case = !head.case_sensitive && lead >= 'a' && lead <= 'z';
    HeadSeek seek{at + 1, end, lead, (uint8_t)(either_case ? 0x20 : 0)};
    const char *found = nullptr;
#if defined(SITEQUERY_X86_VECTORS)
    if (method == kScanWithAvx512) found = pass_avx512(seek, head);
    if (method == kScanWithAvx2) found = pass_avx2(seek, head);
#else
    (void)method;
#endif
    if (found == nullptr) found = pass_sse2(seek, head);
    if (found != nullptr) return found;
    for (const char *p = seek.p; p < end; p++) {
        const unsigned char byte = (unsigned char)*p | seek.case_bit;
        if ((unsigned char)p[-1] <= ' ' && byte == lead && head_at(p, head)) return p;
    }
    return nullptr;
}

const char *next_head_start(const char *at, const char *end, const WildcardHead &head) {
    static const int best = head_scan_available(kScanWithAvx512) ? kScanWithAvx512
                            : head_scan_available(kScanWithAvx2) ? kScanWithAvx2
                                                                 : kScanPortably;
    return next_head_start_with(best, at, end, head);
}
