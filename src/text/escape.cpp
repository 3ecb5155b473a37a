// Text routines of page building: substring replacement inside a buffer of
// fixed capacity, HTML escaping, URL encoding, joining a base URL with query
// parameters, and numeric character entities. All work on NUL-terminated
// byte strings and treat bytes above 127 as opaque, so single-byte and UTF-8
// texts are handled alike. The in-place routines need no work area: they
// either compact the text forwards or expand it backwards inside the buffer.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "context/utf8.h"
#include "text/text.h"

namespace {

// One row of the HTML escape table. Every entity has the same length, which
// lets the escaper size its result with a single count.
struct HtmlEntity {
    char character;
    const char *entity;
};
constexpr int kHtmlEntityLength = 5;
constexpr HtmlEntity kHtmlEntities[] = {
    {'&', "&#38;"}, {'<', "&#60;"}, {'>', "&#62;"}, {'"', "&#34;"}, {'\'', "&#39;"},
};

constexpr int kUrlEscapeLength = 3;  // "%XX"
constexpr const char kUpperHexDigits[] = "0123456789ABCDEF";
constexpr int kHexShift = 4;
constexpr unsigned kNibbleMask = 0x0F;
constexpr unsigned kByteMask = 0xFF;

constexpr const char *kFirstQuerySeparator = "?";
constexpr const char *kNextQuerySeparator = "&amp;";

// A ';' closes a numeric entity only when it stands less than this many bytes
// after the '&' (or after the '#').
constexpr size_t kEntityReach = 8;
// Longest entity the encoder writes: "&#-128;".
constexpr int kMaxEncodedEntityLength = 7;
constexpr int kDecimalBase = 10;
constexpr int kHexBase = 16;

}  // namespace

// Entity of c from the escape table, or null when c needs no escaping.
static const char *html_entity_of(char c) {
    for (const HtmlEntity &row : kHtmlEntities) {
        if (row.character == c) return row.entity;
    }
    return nullptr;
}

// True when c is one of the characters of set (NUL never is).
static bool in_set(const char *set, char c) {
    return c != '\0' && strchr(set, c) != nullptr;
}

// Position of the first ';' after position i that closes a numeric entity
// starting at i (less than kEntityReach bytes on), or null.
static const char *entity_end(const char *source, size_t length, size_t i) {
    size_t limit = (length - i < kEntityReach) ? length : i + kEntityReach;
    for (size_t j = i + 1; j < limit; j++) {
        if (source[j] == ';') return source + j;
    }
    return nullptr;
}

// Appends text to out (capacity cap) at *position, as far as it fits.
static void append_text(char *out, int cap, int *position, const char *text) {
    while (*text != '\0' && *position < cap - 1) out[(*position)++] = *text++;
    out[*position] = '\0';
}

// Character mapping: each needle character in turn, over the whole text, so
// that mappings chain.
static void map_characters(const char *needle, const char *replacement, char *buffer, int length) {
    for (int n = 0; needle[n] != '\0' && replacement[n] != '\0'; n++) {
        if (needle[n] == replacement[n]) continue;
        for (int i = 0; i < length; i++) {
            if (buffer[i] == needle[n]) buffer[i] = replacement[n];
        }
    }
}

bool replace_substrings(const char *needle, const char *replacement, char *buffer, uint8_t mode,
                        int cap) {
    if (needle == nullptr || replacement == nullptr || buffer == nullptr || cap <= 0) return false;
    int length = (int)strnlen(buffer, (size_t)cap);
    if (length >= cap) return false;  // not a text of this capacity
    if (strcmp(needle, replacement) == 0) return true;

    if (mode == 1) {
        map_characters(needle, replacement, buffer, length);
        return true;
    }

    size_t needle_length = strlen(needle);
    size_t replacement_length = strlen(replacement);
    if (needle_length == 0) return true;
    int64_t occurrences = 0;
    for (const char *p = strstr(buffer, needle); p != nullptr;
         p = strstr(p + needle_length, needle)) {
        occurrences++;
    }
    if (occurrences == 0) return true;
    int64_t result_length =
        length + occurrences * ((int64_t)replacement_length - (int64_t)needle_length);
    if (result_length >= cap) return false;

    // Move the text to the end of the buffer and rebuild it from the start.
    // The writer never overtakes the reader: after any prefix the result has
    // grown by at most result_length - length, which is the room freed here.
    int offset = cap - 1 - length;
    memmove(buffer + offset, buffer, (size_t)length + 1);
    const char *read = buffer + offset;
    char *write = buffer;
    for (;;) {
        const char *match = strstr(read, needle);
        size_t kept = (match != nullptr) ? (size_t)(match - read) : strlen(read);
        memmove(write, read, kept);
        write += kept;
        if (match == nullptr) break;
        memcpy(write, replacement, replacement_length);
        write += replacement_length;
        read = match + needle_length;
    }
    *write = '\0';
    return true;
}

void escape_html(char *buffer, int cap) {
    if (buffer == nullptr || cap <= 0) return;
    // Longest prefix whose escaped form fits.
    int input_length = 0;
    int output_length = 0;
    while (buffer[input_length] != '\0') {
        int width = html_entity_of(buffer[input_length]) ? kHtmlEntityLength : 1;
        if (output_length + width > cap - 1) break;
        output_length += width;
        input_length++;
    }
    if (buffer[input_length] != '\0') {
        // The whole text does not fit: cut it before escaping, at a character
        // boundary, rather than leave any special character unescaped.
        int cut = (int)utf8_cut_length(buffer, (size_t)input_length);
        for (int i = cut; i < input_length; i++) {
            output_length -= html_entity_of(buffer[i]) ? kHtmlEntityLength : 1;
        }
        input_length = cut;
    }
    // Expand backwards: every byte written lies at or after the byte it comes from.
    int write = output_length;
    buffer[write] = '\0';
    for (int read = input_length - 1; read >= 0; read--) {
        const char *entity = html_entity_of(buffer[read]);
        if (entity != nullptr) {
            write -= kHtmlEntityLength;
            memcpy(buffer + write, entity, kHtmlEntityLength);
        } else {
            buffer[--write] = buffer[read];
        }
    }
}

// Bytes that url_encode copies unchanged: ASCII letters and digits, '-' and '_'.
static bool is_url_safe(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_';
}

void url_encode(char *buffer, int cap) {
    if (buffer == nullptr || cap <= 0) return;
    int input_length = 0;
    int output_length = 0;
    while (buffer[input_length] != '\0') {
        char c = buffer[input_length];
        int width = (is_url_safe(c) || c == ' ') ? 1 : kUrlEscapeLength;
        if (output_length + width > cap - 1) break;
        output_length += width;
        input_length++;
    }
    int write = output_length;
    buffer[write] = '\0';
    for (int read = input_length - 1; read >= 0; read--) {
        char c = buffer[read];
        if (is_url_safe(c)) {
            buffer[--write] = c;
        } else if (c == ' ') {
            buffer[--write] = '+';
        } else {
            unsigned byte = (unsigned char)c;
            buffer[--write] = kUpperHexDigits[byte & kNibbleMask];
            buffer[--write] = kUpperHexDigits[(byte >> kHexShift) & kNibbleMask];
            buffer[--write] = '%';
        }
    }
}

int make_query_url(char *out, const char *base, const char *first, const char *second,
                   int out_cap) {
    if (out == nullptr || out_cap <= 0) return 0;
    if (base == nullptr) base = "";
    int position = 0;
    out[0] = '\0';
    append_text(out, out_cap, &position, base);
    append_text(out, out_cap, &position,
                strchr(base, '?') ? kNextQuerySeparator : kFirstQuerySeparator);
    append_text(out, out_cap, &position, first ? first : "");
    append_text(out, out_cap, &position, second ? second : "");
    return position;
}

int make_query_url_keep_anchor(char *out, char *base, const char *first, const char *second,
                               int out_cap) {
    if (out == nullptr || out_cap <= 0) return 0;
    if (base == nullptr) return make_query_url(out, base, first, second, out_cap);
    // The separator looks at the whole base, fragment included.
    const char *separator = strchr(base, '?') ? kNextQuerySeparator : kFirstQuerySeparator;
    char *hash = strchr(base, '#');
    if (hash == nullptr) return make_query_url(out, base, first, second, out_cap);
    *hash = '\0';
    int position = 0;
    out[0] = '\0';
    append_text(out, out_cap, &position, base);
    append_text(out, out_cap, &position, separator);
    append_text(out, out_cap, &position, first ? first : "");
    append_text(out, out_cap, &position, second ? second : "");
    append_text(out, out_cap, &position, "#");
    append_text(out, out_cap, &position, hash + 1);
    return position;
}

bool encode_numeric_entities(const char *source, char *destination, const char *set, int dest_cap) {
    if (source == nullptr || destination == nullptr || set == nullptr || dest_cap <= 0) {
        return false;
    }
    size_t length = strlen(source);
    int position = 0;
    for (size_t i = 0; i < length; i++) {
        char c = source[i];
        // An existing "&#...;" passes through: its '&' and its '#' are kept.
        bool keep = !in_set(set, c) ||
                    (c == '&' && i + 3 < length && source[i + 1] == '#' &&
                     entity_end(source, length, i) != nullptr) ||
                    (c == '#' && i >= 1 && i + 2 < length && source[i - 1] == '&' &&
                     entity_end(source, length, i) != nullptr);
        char item[kMaxEncodedEntityLength + 1];
        int item_length = 1;
        if (keep) {
            item[0] = c;
        } else {
            item_length = snprintf(item, sizeof item, "&#%d;", (int)(signed char)c);
        }
        if (position + item_length > dest_cap - 1) break;
        memcpy(destination + position, item, (size_t)item_length);
        position += item_length;
    }
    destination[position] = '\0';
    return true;
}

// Value of the numeric entity "&#...;" at source whose ';' is end: decimal
// as atoi reads it, else "&#x" and hexadecimal digits ending exactly at the
// ';'. 0 when neither gives a value.
static long numeric_entity_value(const char *source, const char *end) {
    // The ';' bounds both parses, so neither can overflow.
    long value = strtol(source + 2, nullptr, kDecimalBase);
    if (value == 0 && source[2] == 'x') {
        char *hex_end = nullptr;
        value = strtol(source + 3, &hex_end, kHexBase);
        if (hex_end != end) value = 0;
    }
    return value;
}

bool decode_numeric_entities(const char *source, char *destination, const char *set, int dest_cap) {
    if (source == nullptr || destination == nullptr || set == nullptr || dest_cap <= 0) {
        return false;
    }
    size_t length = strlen(source);
    int position = 0;
    size_t i = 0;
    while (i < length && position < dest_cap - 1) {
        if (source[i] == '&' && i + 3 < length && source[i + 1] == '#') {
            const char *end = entity_end(source, length, i);
            if (end != nullptr) {
                long value = numeric_entity_value(source + i, end);
                char byte = (char)(unsigned char)((unsigned long)value & kByteMask);
                if (value != 0 && in_set(set, byte)) {
                    destination[position++] = byte;
                    i = (size_t)(end - source) + 1;
                    continue;
                }
            }
        }
        destination[position++] = source[i++];
    }
    destination[position] = '\0';
    return true;
}
