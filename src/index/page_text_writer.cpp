// Writes page-text records: DictIDLen bytes each, the word id's DictIDLen - 1
// low bytes little-endian, then the variant number.
#include "index/index_writer.h"

bool page_text_id_fits(int size, uint32_t id) {
    if (size < kPageTextMinRecordSize || size > kPageTextMaxRecordSize) return false;
    const int id_bytes = size - 1;
    return id_bytes >= 4 || id < (1u << (8 * id_bytes));
}

void encode_page_text_record(uint8_t *out, int size, uint32_t id, uint8_t variant) {
    for (int i = 0; i < size - 1; i++) out[i] = (uint8_t)(id >> (8 * i));
    out[size - 1] = variant;
}

int page_text_record_size_for(uint64_t id_count) {
    constexpr int kSmallestWritten = 3;  // two id bytes: 65536 ids
    for (int size = kSmallestWritten; size < kPageTextMaxRecordSize; size++)
        if (id_count <= (1ull << (8 * (size - 1)))) return size;
    return kPageTextMaxRecordSize;
}
