// A heap text that grows as pieces are appended: suffixes of links, excerpt
// runs and other texts whose length the request decides.
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "text/text.h"

namespace {
constexpr size_t kInitialTextSize = 256;  // first block of a text
}  // namespace

bool grow_text_reserve(GrowText &text, size_t extra) {
    if (text.failed) return false;
    if (extra > SIZE_MAX / 2 - text.length) {
        text.failed = true;
        return false;
    }
    const size_t needed = text.length + extra + 1;
    if (needed <= text.capacity) return true;
    size_t capacity = text.capacity < kInitialTextSize ? kInitialTextSize : text.capacity;
    while (capacity < needed) capacity *= 2;
    char *grown = (char *)realloc(text.bytes, capacity);
    if (grown == nullptr) {
        text.failed = true;
        return false;
    }
    if (text.bytes == nullptr) grown[0] = '\0';
    text.bytes = grown;
    text.capacity = capacity;
    return true;
}

bool grow_text_append(GrowText &text, const char *piece, size_t length) {
    if (!grow_text_reserve(text, length)) return false;
    memcpy(text.bytes + text.length, piece, length);
    text.length += length;
    text.bytes[text.length] = '\0';
    return true;
}

bool grow_text_append(GrowText &text, const char *piece) {
    return grow_text_append(text, piece, strlen(piece));
}

bool grow_text_printf(GrowText &text, const char *format, ...) {
    va_list args;
    va_start(args, format);
    const int n = vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (n < 0 || !grow_text_reserve(text, (size_t)n)) return false;
    va_start(args, format);
    vsnprintf(text.bytes + text.length, (size_t)n + 1, format, args);
    va_end(args);
    text.length += (size_t)n;
    return true;
}

bool grow_text_append_url_encoded(GrowText &text, const char *value) {
    const size_t length = strlen(value);
    const size_t room = length * 3 + 1;  // every byte as %XX
    if (room > INT32_MAX || !grow_text_reserve(text, room)) return false;
    char *end = text.bytes + text.length;
    memcpy(end, value, length + 1);
    url_encode(end, (int)room);
    text.length += strlen(end);
    return true;
}

void grow_text_clear(GrowText &text) {
    text.length = 0;
    if (text.bytes != nullptr) text.bytes[0] = '\0';
}

void grow_text_free(GrowText &text) {
    free(text.bytes);
    text = GrowText();
}
