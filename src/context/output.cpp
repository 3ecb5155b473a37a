// Printing to standard output and formatting into the 19 output sections and
// the results buffer.
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "context/context.h"

namespace {
const char kProductPage[] = "https://www.orlatine.com/vesk/";  // the powered-by line's link

// One formatted text: in the caller's stack buffer (kFormatBufferSize bytes)
// when it fits, else in a heap block sized from the first count.
struct FormattedText {
    const char *text;  // the whole text, or null for a null format, a formatting error or no memory
    int length;        // its length
    char *heap;        // the heap block to free, or null
};

FormattedText format_whole(char *local, const char *format, va_list args) {
    FormattedText out = {nullptr, 0, nullptr};
    if (format == nullptr) return out;
    va_list first;
    va_copy(first, args);
    int n = vsnprintf(local, kFormatBufferSize, format, first);
    va_end(first);
    if (n < 0) return out;
    out.length = n;
    if (n < kFormatBufferSize) {
        out.text = local;
        return out;
    }
    out.heap = (char *)malloc((size_t)n + 1);
    if (out.heap == nullptr) return out;
    if (vsnprintf(out.heap, (size_t)n + 1, format, args) != n) {
        free(out.heap);
        out.heap = nullptr;
        return out;
    }
    out.text = out.heap;
    return out;
}

// Appends a formatted text of length n to a growable text whose length is the
// length of its text. Grows the block to the larger of one and a half times its
// capacity and what is needed. n, or -1 when it cannot grow.
int append_formatted(char *&text, int32_t &capacity, int32_t &length, const char *formatted,
                     int n) {
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
    // Appended at the stored length, without rescanning the text: a long page
    // costs linear time. A formatted text holding a NUL (a "%c" of 0) stores
    // only what comes before it, and the length counts what is stored.
    const size_t stored = strnlen(formatted, (size_t)n);
    memcpy(text + length, formatted, stored);
    text[length + stored] = '\0';
    length += (int32_t)stored;
    return n;
}

// Formats and appends to a growable text. The formatted length, or -1 (text unchanged).
int append_format(char *&text, int32_t &capacity, int32_t &length, const char *format,
                  va_list args) {
    char local[kFormatBufferSize];
    FormattedText formatted = format_whole(local, format, args);
    int n = formatted.text == nullptr
                ? -1
                : append_formatted(text, capacity, length, formatted.text, formatted.length);
    free(formatted.heap);
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
    char local[kFormatBufferSize];
    va_list args;
    va_start(args, format);
    FormattedText formatted = format_whole(local, format, args);
    va_end(args);
    int n = formatted.text == nullptr ? -1 : printf("%s", formatted.text);
    free(formatted.heap);
    return n;
}

int out_puts(const char *text) {
    size_t length = strlen(text);
    fwrite(text, 1, length, stdout);
    return (int)length;
}

int buffer_printf(const char *format, ...) {
    SearchContext &c = g_search_context;
    va_list args;
    va_start(args, format);
    int n = append_format(c.g_result_buffer, c.g_result_buffer_capacity, c.g_result_buffer_length,
                          format, args);
    va_end(args);
    return n;
}

int section_printf(int section, const char *format, ...) {
    SearchContext &c = g_search_context;
    if (section < 0 || section >= kSectionCount || c.g_section_texts == nullptr) return -1;
    va_list args;
    va_start(args, format);
    int n = append_format(c.g_section_texts[section], c.g_section_capacity[section],
                          c.g_section_length[section], format, args);
    va_end(args);
    return n;
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

void write_powered_by_line() {
    const SearchContext &c = g_search_context;
    const char *text = c.g_str_texts != nullptr ? c.g_str_texts[STR_POWEREDBY] : nullptr;
    section_printf(SECTION_PAGENUMBERS,
                   "\n<center><p><small>%s <a href=\"%s\" target=\"_blank\"><b>Vesk Search "
                   "Engine</b></a></small></p></center>\n",
                   text != nullptr ? text : "", kProductPage);
}
