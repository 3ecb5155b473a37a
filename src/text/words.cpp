// Comparison of query words with index text under the case settings,
// case-insensitive substring search and wildcard matching.
#include "text/text.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "context/context.h"
#include "context/utf8.h"

static unsigned char ascii_lower(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? (unsigned char)(c - 'A' + 'a') : c;
}

static int sign(int difference) {
    return (difference > 0) - (difference < 0);
}

static bool search_ignores_case() {
    return g_search_context.ToLowerSearchWords != 0;
}

static bool texts_are_utf8() {
    return g_search_context.UseUTF8 == 1;
}

int ascii_compare_nocase(const char *a, const char *b) {
    const unsigned char *x = (const unsigned char *)a;
    const unsigned char *y = (const unsigned char *)b;
    while (*x != '\0' && ascii_lower(*x) == ascii_lower(*y)) {
        ++x;
        ++y;
    }
    return sign(ascii_lower(*x) - ascii_lower(*y));
}

int ascii_compare_nocase_n(const char *a, const char *b, int n) {
    const unsigned char *x = (const unsigned char *)a;
    const unsigned char *y = (const unsigned char *)b;
    for (int i = 0; i < n; ++i) {
        int difference = ascii_lower(x[i]) - ascii_lower(y[i]);
        if (difference != 0) return sign(difference);
        if (x[i] == '\0') break;
    }
    return 0;
}

void ascii_to_lower(char *text) {
    for (unsigned char *p = (unsigned char *)text; *p != '\0'; ++p) *p = ascii_lower(*p);
}

namespace {
// The bytes of a text's lower-case form (utf8_to_lower's result), one at a
// time, so that comparisons need no lower-cased copies.
struct LowerReader {
    const char *text;  // next unit to lower-case
    int left;          // bytes of the text not yet taken
    const char *out;   // rest of the current unit's lower-case form
    int out_left;      // its byte count
};
}  // namespace

static LowerReader lower_reader(const char *text, int length) {
    return LowerReader{text, length, text, 0};
}

// Next byte of the lower-case form, or 0 at its end.
static unsigned char next_lower_byte(LowerReader &reader) {
    if (reader.out_left == 0) {
        if (reader.left == 0) return 0;
        int unit_length;
        reader.out_left = lower_utf8_unit(reader.text, reader.left, &unit_length, &reader.out);
        reader.text += unit_length;
        reader.left -= unit_length;
    }
    --reader.out_left;
    return (unsigned char)*reader.out++;
}

int compare_words(const char *a, const char *b) {
    if (!search_ignores_case()) {
        const unsigned char *x = (const unsigned char *)a;
        const unsigned char *y = (const unsigned char *)b;
        while (*x != '\0' && *x == *y) {
            ++x;
            ++y;
        }
        return sign(*x - *y);
    }
    if (!texts_are_utf8()) return ascii_compare_nocase(a, b);
    LowerReader lower_b = lower_reader(b, (int)strlen(b));
    for (const unsigned char *x = (const unsigned char *)a;; ++x) {
        unsigned char y = next_lower_byte(lower_b);
        if (*x != y) return sign(*x - y);
        if (y == '\0') return 0;
    }
}

int compare_words_n(const char *a, const char *b, int n) {
    if (n <= 0) return 0;
    if (!search_ignores_case()) return sign(strncmp(a, b, (size_t)n));
    if (!texts_are_utf8()) return ascii_compare_nocase_n(a, b, n);
    // Each word is cut at n bytes before lower-casing, so a character split
    // by the cut stays as it is; then n bytes of the lower-case forms count.
    LowerReader lower_a = lower_reader(a, (int)strnlen(a, (size_t)n));
    LowerReader lower_b = lower_reader(b, (int)strnlen(b, (size_t)n));
    for (int i = 0; i < n; ++i) {
        unsigned char x = next_lower_byte(lower_a);
        unsigned char y = next_lower_byte(lower_b);
        if (x != y) return sign(x - y);
        if (x == '\0') break;
    }
    return 0;
}

// Whether the lower-case form read by `rest` starts with that read by `part`.
static bool starts_with_lower(LowerReader rest, LowerReader part) {
    for (;;) {
        const unsigned char wanted = next_lower_byte(part);
        if (wanted == '\0') return true;
        if (next_lower_byte(rest) != wanted) return false;
    }
}

// find_text_nocase for texts in one of the 8-bit code pages: ASCII letters fold.
static const char *find_ascii_nocase(const char *text, size_t length, const char *part) {
    const size_t part_length = strlen(part);
    for (size_t start = 0; start + part_length <= length; ++start) {
        size_t i = 0;
        while (i < part_length &&
               ascii_lower((unsigned char)text[start + i]) == ascii_lower((unsigned char)part[i]))
            ++i;
        if (i == part_length) return text + start;
    }
    return nullptr;
}

const char *find_text_nocase(const char *text, const char *part, int n) {
    const size_t length = n > 0 ? strnlen(text, (size_t)n) : strlen(text);
    if (part[0] == '\0') return text;
    if (!texts_are_utf8()) return find_ascii_nocase(text, length, part);
    // The lower-case form of the text is compared from each of its bytes in
    // turn; a match that starts inside a character's lower-case form counts
    // for that character.
    const LowerReader wanted = lower_reader(part, (int)strlen(part));
    int read = 0;
    while (read < (int)length) {
        const char *out;
        int unit_length;
        const int lowered = lower_utf8_unit(text + read, (int)length - read, &unit_length, &out);
        const int next = read + (unit_length > 0 ? unit_length : 1);
        for (int j = 0; j < lowered; ++j)
            if (starts_with_lower(
                    LowerReader{text + next, (int)length - next, out + j, lowered - j}, wanted))
                return text + read;
        read = next;
    }
    return nullptr;
}

// Pattern segments between stars match at their leftmost position; when one
// fails, the last "*" takes one more byte and the segment after it is tried
// again. That finds a match whenever there is one, since a segment matches a
// fixed text from a given position in one way only ("?" takes the single
// well-formed character there).
bool match_wildcard(const char *text, size_t length, const char *pattern, bool case_sensitive) {
    const unsigned char *t = (const unsigned char *)text;
    const unsigned char *const end = t + length;
    const unsigned char *p = (const unsigned char *)pattern;
    const unsigned char *star_p = nullptr;  // pattern after the last "*"
    const unsigned char *star_t = nullptr;  // text where the bytes of that "*" end
    for (;;) {
        unsigned char pc = *p;
        if (pc == '*') {
            ++p;
            if (*p == '\0') return true;
            star_p = p;
            star_t = t;
            continue;
        }
        if (t != end) {
            if (pc == '?') {
                // One well-formed character within the text.
                const size_t left = (size_t)(end - t);
                const size_t most = (size_t)kUtf8MaxBytes;
                const int taken = utf8_decode(t, left < most ? left : most, nullptr);
                if (taken > 0) {
                    t += taken;
                    ++p;
                    continue;
                }
            } else if (pc != '\0') {
                unsigned char tc = *t;
                if (!case_sensitive) {
                    tc = ascii_lower(tc);
                    pc = ascii_lower(pc);
                }
                if (tc == pc) {
                    ++t;
                    ++p;
                    continue;
                }
            }
        } else if (pc == '\0') {
            return true;
        }
        if (star_p == nullptr || star_t == end) return false;
        t = ++star_t;
        p = star_p;
    }
}

bool match_wildcard(const char *text, const char *pattern, bool case_sensitive) {
    return match_wildcard(text, strlen(text), pattern, case_sensitive);
}
