// Writes word-map blocks: u32 record count, then that many 10-byte records
// (score u8, zone bits u8, page u24, page-text offset u40, little-endian).
#include "index/index_writer.h"

namespace {

void put_le(uint8_t *out, uint64_t value, int width) {
    for (int i = 0; i < width; i++) out[i] = (uint8_t)(value >> (8 * i));
}

}  // namespace

void encode_wordmap_record(uint8_t *out, const WordmapPostingOut &posting) {
    out[kWordmapScoreAt] = posting.score;
    out[kWordmapZonesAt] = posting.zones;
    put_le(out + kWordmapPageAt, posting.page, kWordmapPageSize);
    put_le(out + kWordmapTextOffsetAt, posting.text_offset, kWordmapTextOffsetSize);
}

bool wordmap_posting_fits(const WordmapPostingOut &posting) {
    return posting.page < kMaxPages && posting.text_offset <= kMaxFileOffset40;
}

void encode_wordmap_count(uint8_t *out, uint32_t count) {
    put_le(out, count, kWordmapCountSize);
}

bool append_wordmap_block(std::string &out, const std::vector<WordmapPostingOut> &postings,
                          std::string *error) {
    for (const WordmapPostingOut &posting : postings)
        if (!wordmap_posting_fits(posting)) {
            if (error != nullptr) *error = "a posting's page or page-text offset does not fit";
            return false;
        }
    if (!fits_in_32_bits(postings.size())) {
        if (error != nullptr) *error = "a word has 2^32 postings or more";
        return false;
    }
    const size_t start = out.size();
    out.resize(start + kWordmapCountSize + postings.size() * kWordmapRecordSize);
    uint8_t *at = (uint8_t *)&out[start];
    encode_wordmap_count(at, (uint32_t)postings.size());
    at += kWordmapCountSize;
    for (const WordmapPostingOut &posting : postings) {
        encode_wordmap_record(at, posting);
        at += kWordmapRecordSize;
    }
    return true;
}
