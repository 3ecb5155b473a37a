// The buffered page-text reader of the context excerpts: records read one by
// one from an offset. A regular file is read at offsets, so that moving the
// reader costs no seek; any other file is sought and read as a stream.
#include <stdio.h>
#include <string.h>

#include "index/index.h"
#include "platform/platform.h"
#include "search/search.h"

int read_pagetext_word(SearchContext &c, uint32_t *id, uint32_t *variant) {
    *id = 0;
    *variant = 0;
    const int32_t size = c.DictIDLen;
    char *buffer = c.g_page_text_buffer;
    FILE *file = c.g_page_text_file;
    if (buffer == nullptr || file == nullptr || !page_text_record_size_valid(size)) return 0;
    int32_t available = c.g_page_text_fill - c.g_page_text_pos;
    if (available < 0) available = 0;
    if (available < size) {
        PageTextReads &reads = c.g_page_text_reads;
        const bool at_offsets = reads.mode == kPageTextAtOffsets;
        if (available > 0) {
            memmove(buffer, buffer + c.g_page_text_pos, (size_t)available);
        } else if (at_offsets ? reads.ended : feof(file) != 0) {
            return 0;
        }
        // The whole buffer at once: an excerpt's records come with one read.
        const size_t want = (size_t)size * kPageTextBufferRecords - (size_t)available;
        size_t got;
        if (at_offsets) {
            // A failed read gives nothing, and the next call tries again.
            const int64_t read =
                platform_read_at(fileno(file), buffer + available, want, (int64_t)reads.next);
            got = read > 0 ? (size_t)read : 0;
            reads.ended = read >= 0 && got < want;
            reads.next += got;
        } else {
            got = fread(buffer + available, 1, want, file);
        }
        c.g_page_text_fill = available + (int32_t)got;
        c.g_page_text_pos = 0;
    }
    if (c.g_page_text_fill - c.g_page_text_pos < size) return 0;
    const PageTextRecord record =
        decode_page_text_record((const uint8_t *)buffer + c.g_page_text_pos, size);
    c.g_page_text_pos += size;
    *id = record.word_id;
    *variant = record.variant;
    return size;
}

bool seek_page_text(SearchContext &c, uint64_t offset) {
    FILE *file = c.g_page_text_file;
    if (file == nullptr) return false;
    PageTextReads &reads = c.g_page_text_reads;
    if (reads.mode == kPageTextNotAsked)
        reads.mode = platform_regular_file_size(fileno(file), &reads.size) ? kPageTextAtOffsets
                                                                           : kPageTextAsStream;
    // Within a regular file a seek cannot fail: only a stream, or an offset
    // past the file's end (which the system may refuse), is really sought.
    if ((reads.mode != kPageTextAtOffsets || offset > reads.size) &&
        seek_data_file(file, (int64_t)offset) != 0)
        return false;
    reads.next = offset;
    reads.ended = false;
    c.g_page_text_pos = 0;
    c.g_page_text_fill = 0;
    return true;
}
