// The scan of page-text records for a phrase's words. While no word is
// matched, whole groups of records are passed over with vector compares.
#include "search/phrase_scan.h"

#include <algorithm>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "index/index.h"

namespace {
constexpr size_t kRecordGroup = 16;  // page-text records tested at once

// The word id of record r of Size bytes at bytes.
template <int Size>
inline uint32_t record_id(const uint8_t *bytes, size_t r) {
    return (uint32_t)read_little_endian(bytes + r * Size, Size - 1);
}

// Bit k set: byte k of the j-th 16 bytes of a group of kRecordGroup records
// of Size bytes is the first byte of a record (its id's lowest byte).
template <int Size>
constexpr uint32_t record_start_bits(int j) {
    uint32_t bits = 0;
    for (int k = 0; k < 16; k++)
        if ((16 * j + k) % Size == 0) bits |= 1u << k;
    return bits;
}

// Passes over whole groups of kRecordGroup records from r on that hold no
// record that may be the first word's or a page boundary's: none of them can
// stop the search for the first word. A record may be when its id's lowest
// byte is the first word's or below 2 and, for ids of two bytes or more, its
// second byte is the first word's or 0 (a boundary's). The first record of the
// group that may, or where too few records remain for a group.
template <int Size>
size_t pass_unlikely_groups(const uint8_t *bytes, size_t r, size_t records, uint32_t first) {
#if defined(__SSE2__)
    static_assert(kRecordGroup == 16, "a group of records is Size vectors of 16 bytes");
    // Ids of two bytes or more read their second bytes one byte further on,
    // within the record behind the group.
    constexpr bool kSecondByte = Size > 2;
    constexpr size_t kRecordsRead = kRecordGroup + (kSecondByte ? 1 : 0);
    const __m128i low = _mm_set1_epi8((char)(uint8_t)first);
    const __m128i second = _mm_set1_epi8((char)(uint8_t)(first >> 8));
    const __m128i boundary = _mm_set1_epi8(kLastBoundaryId);
    const __m128i zero = _mm_setzero_si128();
    for (; r + kRecordsRead <= records; r += kRecordGroup) {
        const uint8_t *group = bytes + r * Size;
        uint32_t hits = 0;
        for (int j = 0; j < Size; j++) {
            const __m128i v = _mm_loadu_si128((const __m128i *)(group + 16 * j));
            __m128i is_first = _mm_cmpeq_epi8(v, low);
            __m128i is_boundary = _mm_cmpeq_epi8(_mm_min_epu8(v, boundary), v);
            if (kSecondByte) {
                const __m128i next = _mm_loadu_si128((const __m128i *)(group + 16 * j + 1));
                is_first = _mm_and_si128(is_first, _mm_cmpeq_epi8(next, second));
                is_boundary = _mm_and_si128(is_boundary, _mm_cmpeq_epi8(next, zero));
            }
            const __m128i may = _mm_or_si128(is_first, is_boundary);
            hits |= (uint32_t)_mm_movemask_epi8(may) & record_start_bits<Size>(j);
        }
        if (hits != 0) break;
    }
#else
    (void)bytes;
    (void)records;
    (void)first;
#endif
    return r;
}

// The first record from r on (of `records`) that holds the phrase's first
// word or a page boundary, or `records`: while nothing is matched, no other
// record counts.
template <int Size>
size_t next_first_word(const uint8_t *bytes, size_t r, size_t records, uint32_t first) {
    for (;;) {
        r = pass_unlikely_groups<Size>(bytes, r, records, first);
        const size_t stop = std::min(records, r + kRecordGroup);
        for (; r < stop; r++) {
            const uint32_t id = record_id<Size>(bytes, r);
            if (id == first || id <= kLastBoundaryId) return r;
        }
        if (r == records) return r;
    }
}

// Scans `records` page-text records of Size bytes at bytes, the first at file
// offset `offset`: a page boundary ends the scan, punctuation between the
// words is passed over, and a mismatch starts again (on word 0 when the
// record is the phrase's first word).
template <int Size>
int scan_records(PhraseScan &scan, const uint8_t *bytes, size_t records, uint64_t offset) {
    const uint32_t first = scan.ids[0];
    for (size_t r = 0; r < records; r++) {
        if (scan.k == 0 && (r = next_first_word<Size>(bytes, r, records, first)) == records) break;
        const uint32_t id = record_id<Size>(bytes, r);
        if (id <= kLastBoundaryId) {
            scan.end = offset + r * Size;
            return kScanEnded;
        }
        if (scan.k == 0) {
            // The first word (its id is valid).
            scan.phrase_start = offset + r * Size;
            scan.k = 1;
        } else if (id < scan.keywords && id == scan.ids[scan.k]) {
            scan.k++;
        } else if (id < scan.keywords && id >= kFirstTokenId && id <= scan.reserved_limit) {
            continue;  // punctuation between the words does not break a phrase
        } else if (id == first) {
            scan.phrase_start = offset + r * Size;
            scan.k = 1;
        } else {
            scan.k = 0;
        }
        if (scan.k == scan.w) return kScanFound;
    }
    return kScanGoesOn;
}

}  // namespace

int scan_piece(PhraseScan &scan, int32_t size, const uint8_t *bytes, size_t records,
               uint64_t offset) {
    switch (size) {
        case 2:
            return scan_records<2>(scan, bytes, records, offset);
        case 3:
            return scan_records<3>(scan, bytes, records, offset);
        case 4:
            return scan_records<4>(scan, bytes, records, offset);
        default:
            return scan_records<5>(scan, bytes, records, offset);
    }
}
