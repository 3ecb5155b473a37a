// The CGI form library: reads the form data of one request (the query string
// of a GET request or the body of a form-encoded POST request), splits it in
// place into name/value pairs, decodes the values and answers typed lookups.
// Every byte of the request is untrusted: nothing here reads outside the
// form's buffer, and numbers parse the same on 32-bit and 64-bit builds.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "request/request.h"

CgiForm *g_cgi_form = nullptr;
int g_cgi_error = CGI_OK;

namespace {

// Message of each CgiResult code, indexed by the code.
const char *const kCgiResultTexts[kCgiResultCount] = {
    "The function successfully performed",
    "Out-of-memory error",
    "MIME content type error",
    "Request method error",
    "I/O error",
    "Value was cut short",
    "Value was not a legal type",
    "Value contained no data",
    "No value was submitted",
};

constexpr const char *kFormContentType = "application/x-www-form-urlencoded";
constexpr const char *kMethodPost = "POST";
constexpr const char *kMethodGet = "GET";
constexpr int kHexDigitOffset = 7;    // 'A' - 7 has the low nibble 0xA
constexpr int kHexLetterOffset = 55;  // 'A' - 55 == 10
constexpr int kCaseBit = 0x20;        // ASCII lower-case bit
constexpr unsigned kByteMask = 0xFF;
constexpr int kHexPairLength = 2;  // characters after a '%'
constexpr int kHexRadix = 16;      // value of the high digit of a pair
}  // namespace

// Appends a new entry to the list of form; false when it cannot be allocated.
static bool append_entry(CgiForm *form, FormEntry **tail, char *name, char *value) {
    FormEntry *entry = (FormEntry *)malloc(sizeof(FormEntry));
    if (entry == nullptr) return false;
    entry->name = name;
    entry->value = value;
    entry->next = nullptr;
    if (*tail == nullptr) {
        form->first = entry;
    } else {
        (*tail)->next = entry;
    }
    *tail = entry;
    return true;
}

int set_cgi_error(int code) {
    g_cgi_error = code;
    return code;
}

const char *cgi_error_text() {
    if (g_cgi_error < 0 || g_cgi_error >= kCgiResultCount) return "";
    return kCgiResultTexts[g_cgi_error];
}

const char *getenv_or_empty(const char *name) {
    const char *value = getenv(name);
    return value != nullptr ? value : "";
}

void plus_to_space(char *text) {
    for (char *p = text; *p != '\0'; p++) {
        if (*p == '+') *p = ' ';
    }
}

unsigned char hex_pair_value(char c1, char c2) {
    // Compared as signed bytes whatever the signedness of char on the target.
    int high = (signed char)c1;
    int low = (signed char)c2;
    high = (high < 'A') ? high : high - kHexDigitOffset;
    low = (low < 'A') ? low - '0' : (low & ~kCaseBit) - kHexLetterOffset;
    // Only the low byte counts; the unsigned conversion keeps it for negative sums.
    return (unsigned char)((unsigned)(high * kHexRadix + low) & kByteMask);
}

int percent_decode(char *text) {
    char *read = text;
    char *write = text;
    while (*read != '\0') {
        // A '%' needs two characters after it; a shorter tail is copied as it is.
        if (*read == '%' && read[1] != '\0' && read[2] != '\0') {
            *write++ = (char)hex_pair_value(read[1], read[2]);
            read += 1 + kHexPairLength;
        } else {
            *write++ = *read++;
        }
    }
    *write = '\0';
    return (int)(write - text);
}

int parse_form_pairs(CgiForm *form) {
    if (form == nullptr || form->buffer == nullptr) return set_cgi_error(CGI_OK);
    FormEntry *tail = form->first;
    while (tail != nullptr && tail->next != nullptr) tail = tail->next;

    char *p = form->buffer;
    for (;;) {
        // Text after the last '=' that starts no pair is ignored.
        char *equals = strchr(p, '=');
        if (equals == nullptr) break;
        char *name = p;
        *equals = '\0';
        p = equals + 1;
        char *value = p;
        char *ampersand = strchr(p, '&');
        if (ampersand != nullptr) {
            *ampersand = '\0';
            p = ampersand + 1;
        }
        // Without an '&' p stays at the value, so the next search for '='
        // runs over the decoded value: 'a=b=c' gives a="b" and b="c".
        if (!append_entry(form, &tail, name, value)) return set_cgi_error(CGI_NO_MEMORY);
        plus_to_space(value);
        percent_decode(value);
    }
    return set_cgi_error(CGI_OK);
}

int read_post_body(CgiForm *form) {
    int32_t length = lenient_atoi(getenv_or_empty("CONTENT_LENGTH"));
    if (length < 0 || length > kMaxPostBodyLength) {
        form->length = 0;
        return set_cgi_error(CGI_NO_MEMORY);
    }
    form->length = length;
    if (length == 0) return set_cgi_error(CGI_OK);

    form->buffer = (char *)malloc((size_t)length + 1);
    if (form->buffer == nullptr) return set_cgi_error(CGI_NO_MEMORY);
    size_t got = fread(form->buffer, 1, (size_t)length, stdin);
    form->buffer[got] = '\0';
    if (got < (size_t)length) return set_cgi_error(CGI_IO);
    return parse_form_pairs(form);
}

int read_query_string(CgiForm *form) {
    const char *query = getenv_or_empty("QUERY_STRING");
    size_t length = strlen(query);
    // The record keeps the length in 32 bits; a longer text cannot be held.
    if (length >= (size_t)INT32_MAX) return set_cgi_error(CGI_NO_MEMORY);
    form->length = (int32_t)length;
    if (length == 0) return set_cgi_error(CGI_OK);

    form->buffer = (char *)malloc(length + 1);
    if (form->buffer == nullptr) return set_cgi_error(CGI_NO_MEMORY);
    memcpy(form->buffer, query, length + 1);
    return parse_form_pairs(form);
}

CgiForm *cgi_form_create() {
    CgiForm *form = (CgiForm *)malloc(sizeof(CgiForm));
    if (form == nullptr) {
        set_cgi_error(CGI_NO_MEMORY);
        return nullptr;
    }
    form->buffer = nullptr;
    form->length = 0;
    form->first = nullptr;
    form->cursor = nullptr;

    const char *method = getenv_or_empty("REQUEST_METHOD");
    int code;
    if (strcmp(method, kMethodPost) == 0) {
        if (strcmp(getenv_or_empty("CONTENT_TYPE"), kFormContentType) != 0) {
            code = set_cgi_error(CGI_CONTENT_TYPE);
        } else {
            code = read_post_body(form);
        }
    } else if (strcmp(method, kMethodGet) == 0) {
        code = read_query_string(form);
    } else {
        code = set_cgi_error(CGI_REQUEST_METHOD);
    }

    if (code != CGI_OK) {
        cgi_form_free(form);
        set_cgi_error(code);
        return nullptr;
    }
    cgi_form_rewind(form);
    return form;
}

bool cgi_form_rewind(CgiForm *form) {
    if (form == nullptr) return false;
    form->cursor = form->first;
    return true;
}

char *cgi_find_next(CgiForm *form, const char *name) {
    if (form == nullptr || name == nullptr) return nullptr;
    while (form->cursor != nullptr) {
        FormEntry *entry = form->cursor;
        form->cursor = entry->next;
        if (strcmp(entry->name, name) == 0) return entry->value;
    }
    return nullptr;
}

char *cgi_find_first(CgiForm *form, const char *name) {
    if (!cgi_form_rewind(form)) return nullptr;
    return cgi_find_next(form, name);
}

int cgi_form_string(const char *name, char *out, int max) {
    if (max < 0) max = 0;
    const char *value = cgi_find_first(g_cgi_form, name);
    if (value == nullptr) {
        out[0] = '\0';
        return set_cgi_error(CGI_NOT_SUBMITTED);
    }
    int copied = 0;
    while (copied < max && value[copied] != '\0') {
        out[copied] = value[copied];
        copied++;
    }
    out[copied] = '\0';
    if (value[copied] != '\0') return set_cgi_error(CGI_TRUNCATED);
    return set_cgi_error(CGI_OK);
}

int cgi_form_integer(const char *name, int32_t *out, int32_t default_value) {
    const char *value = cgi_find_first(g_cgi_form, name);
    if (value == nullptr) {
        *out = default_value;
        return set_cgi_error(CGI_NOT_SUBMITTED);
    }
    const char *p = value;
    while (*p == ' ') p++;
    if (*p == '\0') {
        *out = default_value;
        return set_cgi_error(CGI_NO_DATA);
    }
    if (*p == '+' || *p == '-') p++;
    if (*p < '0' || *p > '9') {
        *out = default_value;
        return set_cgi_error(CGI_NOT_LEGAL);
    }
    *out = lenient_atoi(value);
    return set_cgi_error(CGI_OK);
}

int cgi_form_integer_multiple(const char *name, int32_t *values, int32_t *count, int32_t max) {
    const char *first = cgi_find_first(g_cgi_form, name);
    if (first == nullptr) return set_cgi_error(CGI_NOT_SUBMITTED);
    if (first[0] == '\0') return set_cgi_error(CGI_NO_DATA);
    // No room for even the first value: nothing is stored.
    if (*count < 1) return set_cgi_error(CGI_TRUNCATED);

    values[0] = lenient_atoi(first);
    if (max != 0 && values[0] > max) return set_cgi_error(CGI_NO_DATA);

    int32_t stored = 1;
    const char *value;
    while (stored < *count && (value = cgi_find_next(g_cgi_form, name)) != nullptr) {
        if (value[0] == '\0') continue;
        values[stored] = lenient_atoi(value);
        if (max == 0 || values[stored] <= max) stored++;
    }
    *count = stored;
    return set_cgi_error(CGI_OK);
}

void cgi_form_free(CgiForm *form) {
    if (form == nullptr) return;
    FormEntry *entry = form->first;
    while (entry != nullptr) {
        FormEntry *next = entry->next;
        free(entry);
        entry = next;
    }
    free(form->buffer);
    free(form);
}
