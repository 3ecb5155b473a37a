// Line reading and the small scanners of settings.vdat: key tokens, "key = value"
// patterns, numbers and quoted texts.
#include <ctype.h>
#include <stdint.h>
#include <string.h>

#include "context/context.h"
#include "context/utf8.h"

namespace {
bool is_space(char c) {
    return isspace((unsigned char)c) != 0;
}

const char *skip_space(const char *p) {
    while (*p != '\0' && is_space(*p)) p++;
    return p;
}

// Optional sign and at least one digit; value saturated to [-2^63+1, 2^63-1].
bool scan_int64(const char *text, int64_t *value) {
    const char *p = skip_space(text);
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = (*p == '-');
        p++;
    }
    if (!isdigit((unsigned char)*p)) return false;
    constexpr int64_t kLimit = INT64_MAX / 10;
    int64_t result = 0;
    for (; isdigit((unsigned char)*p); p++) {
        int digit = *p - '0';
        if (result > kLimit || (result == kLimit && digit > INT64_MAX % 10))
            result = INT64_MAX;
        else
            result = result * 10 + digit;
    }
    *value = negative ? -result : result;
    return true;
}

}  // namespace

bool read_settings_line(FILE *file, char *buffer, int size) {
    buffer[0] = '\0';
    if (fgets(buffer, size, file) == nullptr) {
        buffer[0] = '\0';
        return false;
    }
    return true;
}

bool settings_key_token(const char *line, char *token, int size) {
    const char *p = skip_space(line);
    int n = 0;
    while (p[n] != '\0' && !is_space(p[n])) n++;
    if (n == 0) {
        token[0] = '\0';
        return false;
    }
    if (n > size - 1) n = size - 1;
    memcpy(token, p, (size_t)n);
    token[n] = '\0';
    return true;
}

const char *match_key_equals(const char *line, const char *key) {
    size_t key_length = strlen(key);
    if (strncmp(line, key, key_length) != 0) return nullptr;
    const char *p = skip_space(line + key_length);
    if (*p != '=') return nullptr;
    return skip_space(p + 1);
}

bool scan_int32(const char *text, int32_t *value) {
    int64_t wide;
    if (!scan_int64(text, &wide)) return false;
    if (wide > INT32_MAX) wide = INT32_MAX;
    if (wide < INT32_MIN) wide = INT32_MIN;
    *value = (int32_t)wide;
    return true;
}

bool scan_uint32(const char *text, uint32_t *value) {
    int64_t wide;
    if (!scan_int64(text, &wide)) return false;
    if (wide > (int64_t)UINT32_MAX) wide = UINT32_MAX;
    if (wide < -(int64_t)UINT32_MAX) wide = -(int64_t)UINT32_MAX;
    *value = (uint32_t)(wide < 0 ? (uint64_t)UINT32_MAX + 1 - (uint64_t)(-wide) : (uint64_t)wide);
    return true;
}

int32_t lenient_atoi(const char *text) {
    int32_t value = 0;
    return scan_int32(text, &value) ? value : 0;
}

void copy_bounded_utf8(char *out, int size, const char *text) {
    if (size <= 0) return;
    size_t length = strlen(text);
    size_t room = (size_t)size - 1;
    if (length > room) length = utf8_cut_length(text, room);
    memcpy(out, text, length);
    out[length] = '\0';
}

bool scan_quoted_text(const char *text, char *out, int size) {
    if (*text != '"') return false;
    const char *start = text + 1;
    const char *end = strchr(start, '"');
    size_t length = end != nullptr ? (size_t)(end - start) : strlen(start);
    if (length == 0) return false;
    // Copy the value alone, then cut it to the member's room.
    constexpr size_t kScratchSize = kSettingsLineSize;
    char scratch[kScratchSize];
    if (length > kScratchSize - 1) length = kScratchSize - 1;
    memcpy(scratch, start, length);
    scratch[length] = '\0';
    copy_bounded_utf8(out, size, scratch);
    return true;
}
