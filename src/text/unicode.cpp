// UTF-8 lower-casing through the built-in case table.
//
// Text is walked in units framed by their first byte alone (1 to 6 bytes, a
// stray continuation byte being a unit of its own). A unit is replaced only
// when it is the shortest well-formed encoding of a character of the table;
// anything else, malformed or overlong sequences included, is kept as it is.
#include "text/text.h"

#include <stdlib.h>
#include <string.h>

#include <atomic>

#include "context/utf8.h"
#include "text/case_table.h"

// Whether load_unicode_tables has made the table available (until unloaded).
// Atomic: the indexer's threads switch it on while others lower-case (a
// relaxed load is a plain load).
static std::atomic<bool> g_lower_table_loaded{false};

// The table entry for a code point, or null (also when the table is not loaded).
static const LowerCaseEntry *find_entry(uint32_t cp) {
    if (!g_lower_table_loaded.load(std::memory_order_relaxed)) return nullptr;
    const LowerCaseEntry *entries = kLowerCaseTable.entries;
    int low = 0;
    int high = kCaseMappingCount - 1;
    while (low <= high) {
        int mid = low + (high - low) / 2;
        uint32_t source = entries[mid].source;
        if (source == cp) return &entries[mid];
        if (source < cp) {
            low = mid + 1;
        } else {
            high = mid - 1;
        }
    }
    return nullptr;
}

int lower_utf8_unit(const char *text, int available, int *unit_length, const char **out) {
    const unsigned char *unit = (const unsigned char *)text;
    int length = utf8_unit_length(unit[0]);
    if (length > available) length = available;
    *unit_length = length;
    // A character decodes to the whole unit; a unit cut short decodes to none.
    uint32_t cp;
    const LowerCaseEntry *entry =
        utf8_decode(unit, (size_t)available, &cp) > 0 ? find_entry(cp) : nullptr;
    if (entry == nullptr) {
        *out = text;
        return length;
    }
    *out = entry->bytes;
    return entry->length;
}

int load_unicode_tables() {
    g_lower_table_loaded.store(true, std::memory_order_relaxed);
    return 0;
}

void unload_unicode_tables() {
    g_lower_table_loaded.store(false, std::memory_order_relaxed);
}

int utf8_lower_capacity(int length) {
    return length + length / 2 + 1;
}

// Second pass of utf8_to_lower, for a text in which only the units whose
// lower-case form is longer are left to replace. Replacing them can only grow
// the text, so the growth is known before writing: the text that fits is
// moved right by it and then rewritten from the start, writing never
// overtaking reading.
static int lower_growing_units(char *text, int length, int capacity) {
    int in_length = 0;
    int out_length = 0;
    while (in_length < length) {
        const char *out;
        int unit_length;
        int n = lower_utf8_unit(text + in_length, length - in_length, &unit_length, &out);
        if (n < unit_length) n = unit_length;  // left as the first pass left it
        if (out_length + n > capacity - 1) break;
        out_length += n;
        in_length += unit_length;
    }
    int shift = out_length - in_length;
    memmove(text + shift, text, (size_t)in_length);
    int read = shift;
    int end = shift + in_length;
    int write = 0;
    while (read < end) {
        const char *out;
        int unit_length;
        int n = lower_utf8_unit(text + read, end - read, &unit_length, &out);
        if (n > unit_length) {
            memcpy(text + write, out, (size_t)n);
        } else {
            memmove(text + write, text + read, (size_t)unit_length);
            n = unit_length;
        }
        read += unit_length;
        write += n;
    }
    text[out_length] = '\0';
    return out_length;
}

int utf8_to_lower(char *text, int capacity) {
    if (text == nullptr || capacity <= 0) return 0;
    int length = (int)strnlen(text, (size_t)capacity);
    if (length == capacity) {
        length = capacity - 1;
        text[length] = '\0';
    }
    // First pass, in place: every unit whose lower-case form is not longer.
    // The write position never passes the read position.
    int read = 0;
    int write = 0;
    bool growing = false;
    while (read < length) {
        const char *out;
        int unit_length;
        int n = lower_utf8_unit(text + read, length - read, &unit_length, &out);
        if (n > unit_length) {
            growing = true;
            out = text + read;
            n = unit_length;
        }
        memmove(text + write, out, (size_t)n);
        read += unit_length;
        write += n;
    }
    text[write] = '\0';
    return growing ? lower_growing_units(text, write, capacity) : write;
}
