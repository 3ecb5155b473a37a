// Printing to standard output and formatting into the 19 output sections and
// the results buffer.
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "context/context.h"

namespace {
// Formats into buffer (kFormatBufferSize bytes). The would-be length, or -1 for
// a null format or a formatting error.
int format_into(char *buffer, const char *format, va_list args) {
    if (format == nullptr) return -1;
    int n = vsnprintf(buffer, kFormatBufferSize, format, args);
    return n < 0 ? -1 : n;
}

// Appends a formatted text of would-be length n (its first kFormatBufferSize-1
// characters are in buffer) to a growable text. Grows the block to the larger of
// one and a half times its capacity and what is needed. n, or -1 when it cannot grow.
int append_formatted(char *&text, int32_t &capacity, int32_t &length, const char *buffer, int n) {
    if (text == nullptr) return -1;
    int64_t needed = (int64_t)length + n;
    if (needed >= capacity) {
        int64_t grown = (int64_t)(int32_t)((float)capacity * 1.5f);
        int64_t wanted = needed + 1;
        int64_t new_capacity = grown > wanted ? grown : wanted;
        if (new_capacity > INT32_MAX) return -1;
        char *block = (char *)realloc(text, (size_t)new_capacity);
        if (block == nullptr) return -1;
        text = block;
        capacity = (int32_t)new_capacity;
    }
    // The stored text can be shorter than `length` after a cut append, so append
    // at the text's real end; the growth above keeps room for it.
    strncat(text, buffer, (size_t)n);
    length = (int32_t)needed;
    return n;
}
}  // namespace

int allocate_output_buffers() {
    SearchContext &c = g_search_context;
    c.g_section_texts = (char **)calloc(kSectionCount, sizeof(char *));
    if (c.g_section_texts == nullptr) return 1;
    c.g_section_capacity = (int32_t *)calloc(kSectionCount, sizeof(int32_t));
    if (c.g_section_capacity == nullptr) return 1;
    c.g_section_length = (int32_t *)calloc(kSectionCount, sizeof(int32_t));
    if (c.g_section_length == nullptr) return 1;
    for (int i = 0; i < kSectionCount; i++) {
        c.g_section_texts[i] = (char *)calloc(kSectionInitialSize, 1);
        if (c.g_section_texts[i] == nullptr) return 1;
        c.g_section_capacity[i] = kSectionInitialSize;
        c.g_section_length[i] = 0;
    }
    int32_t capacity = c.g_per_page * kResultBytesPerResult + kResultBytesBase;
    // Only the terminator needs writing: clearing the whole block would cost
    // every request its page faults.
    c.g_result_buffer = (char *)malloc((size_t)capacity);
    if (c.g_result_buffer == nullptr) return 1;
    c.g_result_buffer[0] = '\0';
    c.g_result_buffer_capacity = capacity;
    c.g_result_buffer_length = 0;
    return 0;
}

int out_printf(const char *format, ...) {
    char buffer[kFormatBufferSize];
    va_list args;
    va_start(args, format);
    int n = format_into(buffer, format, args);
    va_end(args);
    if (n < 0) return -1;
    return printf("%s", buffer);
}

int out_puts(const char *text) {
    size_t length = strlen(text);
    fwrite(text, 1, length, stdout);
    return (int)length;
}

int buffer_printf(const char *format, ...) {
    char buffer[kFormatBufferSize];
    va_list args;
    va_start(args, format);
    int n = format_into(buffer, format, args);
    va_end(args);
    if (n < 0) return -1;
    SearchContext &c = g_search_context;
    return append_formatted(c.g_result_buffer, c.g_result_buffer_capacity, c.g_result_buffer_length,
                            buffer, n);
}

int section_printf(int section, const char *format, ...) {
    SearchContext &c = g_search_context;
    if (section < 0 || section >= kSectionCount || c.g_section_texts == nullptr) return -1;
    char buffer[kFormatBufferSize];
    va_list args;
    va_start(args, format);
    int n = format_into(buffer, format, args);
    va_end(args);
    if (n < 0) return -1;
    return append_formatted(c.g_section_texts[section], c.g_section_capacity[section],
                            c.g_section_length[section], buffer, n);
}

void print_error_message(const char *message, const char *closing) {
    const bool xml = g_search_context.g_xml_output != 0;
    if (xml) out_puts("<vesk:error>");
    out_puts(message);
    if (xml) out_puts(closing);
}

void clear_catsummary_section() {
    SearchContext &c = g_search_context;
    if (c.g_section_texts == nullptr || c.g_section_texts[SECTION_CATSUMMARY] == nullptr) return;
    c.g_section_texts[SECTION_CATSUMMARY][0] = '\0';
    c.g_section_length[SECTION_CATSUMMARY] = 0;
}

void print_result_count(uint32_t count, const char *closing_text) {
    SearchContext &c = g_search_context;
    char **texts = c.g_str_texts;
    if (texts == nullptr) return;
    if (count == 0) {
        section_printf(SECTION_SUMMARY, "%s %s ", texts[STR_NO_RESULTS], closing_text);
    } else if (count == 1) {
        section_printf(SECTION_SUMMARY, "%d %s %s ", 1, texts[STR_RESULT], closing_text);
    } else {
        if (c.g_search_cut_short) section_printf(SECTION_SUMMARY, "%s ", texts[STR_MORETHAN]);
        section_printf(SECTION_SUMMARY, "%u %s %s ", count, texts[STR_RESULTS], closing_text);
    }
}
