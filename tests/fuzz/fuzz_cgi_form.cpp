// libFuzzer target of the CGI form library. The first input byte picks the
// request kind; the rest is the query string of a GET request or the body of
// a POST request. The form is built, every kind of lookup runs on the names
// it holds and on fixed names, and the form is freed.
//
// Build: clang++-14 -std=c++17 -g -fsanitize=fuzzer,address,undefined -Isrc \
//        tests/fuzz/fuzz_cgi_form.cpp src/request/cgi_form.cpp
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "request/request.h"

namespace {

constexpr uint8_t kModePost = 0x01;        // POST instead of GET
constexpr uint8_t kModeLengthText = 0x02;  // POST: CONTENT_LENGTH text comes from the input
constexpr uint8_t kModeShortBody = 0x04;   // POST: CONTENT_LENGTH one more than the body
constexpr uint8_t kModeOtherType = 0x08;   // POST: a content type with a parameter
constexpr int kStringMax = 10;             // characters of the string lookup
constexpr int32_t kListCapacity = 4;       // entries of the list lookup
constexpr int kNamedLookups = 8;           // form names looked up per input
const char *const kFixedNames[] = {"vesk_query", "vesk_page", "vesk_cat[]", "", "a"};

std::string g_body_path;  // temporary file that stands for standard input

void remove_body_file() {
    unlink(g_body_path.c_str());
}

void write_stdin(const uint8_t *data, size_t size) {
    if (g_body_path.empty()) {
        char path[] = "/tmp/fuzz_cgi_form_XXXXXX";
        int fd = mkstemp(path);
        if (fd < 0) abort();
        close(fd);
        g_body_path = path;
        atexit(remove_body_file);
    }
    FILE *file = fopen(g_body_path.c_str(), "wb");
    if (file == nullptr) abort();
    if (size > 0 && fwrite(data, 1, size, file) != size) abort();
    fclose(file);
    if (freopen(g_body_path.c_str(), "rb", stdin) == nullptr) abort();
}

void look_up(const char *name, int32_t max) {
    char text[kStringMax + 1];
    cgi_form_string(name, text, kStringMax);
    if (strlen(text) > (size_t)kStringMax) abort();

    int32_t value = 0;
    cgi_form_integer(name, &value, -1);

    int32_t values[kListCapacity + 1];
    values[kListCapacity] = 0x5A5A5A5A;  // guard after the capacity
    int32_t count = kListCapacity;
    int code = cgi_form_integer_multiple(name, values, &count, max);
    if (count < 0 || count > kListCapacity || values[kListCapacity] != 0x5A5A5A5A) abort();
    if (code == CGI_OK && max != 0) {
        for (int32_t i = 0; i < count; i++) {
            if (values[i] > max) abort();
        }
    }

    for (char *v = cgi_find_first(g_cgi_form, name); v != nullptr;
         v = cgi_find_next(g_cgi_form, name)) {
        if (strlen(v) > (size_t)g_cgi_form->length) abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    uint8_t mode = data[0];
    const uint8_t *rest = data + 1;
    size_t rest_size = size - 1;

    unsetenv("QUERY_STRING");
    unsetenv("CONTENT_LENGTH");
    unsetenv("CONTENT_TYPE");
    if (mode & kModePost) {
        setenv("REQUEST_METHOD", "POST", 1);
        setenv("CONTENT_TYPE",
               (mode & kModeOtherType) ? "application/x-www-form-urlencoded; charset=UTF-8"
                                       : "application/x-www-form-urlencoded",
               1);
        std::string length;
        if (mode & kModeLengthText) {
            // CONTENT_LENGTH is the input up to the first line feed.
            const void *end = memchr(rest, '\n', rest_size);
            size_t text_size = end ? (size_t)((const uint8_t *)end - rest) : rest_size;
            length.assign((const char *)rest, strnlen((const char *)rest, text_size));
            size_t skip = end ? text_size + 1 : text_size;
            rest += skip;
            rest_size -= skip;
        } else {
            length = std::to_string(rest_size + ((mode & kModeShortBody) ? 1 : 0));
        }
        setenv("CONTENT_LENGTH", length.c_str(), 1);
        write_stdin(rest, rest_size);
    } else {
        setenv("REQUEST_METHOD", "GET", 1);
        std::string query((const char *)rest, strnlen((const char *)rest, rest_size));
        setenv("QUERY_STRING", query.c_str(), 1);
    }

    g_cgi_form = cgi_form_create();
    if (g_cgi_form == nullptr) {
        if (g_cgi_error == CGI_OK || cgi_error_text()[0] == '\0') abort();
        return 0;
    }

    int32_t max = (int32_t)(mode >> 4);
    for (const char *name : kFixedNames) look_up(name, max);
    int looked_up = 0;
    for (FormEntry *e = g_cgi_form->first; e != nullptr && looked_up < kNamedLookups;
         e = e->next, looked_up++) {
        look_up(e->name, max);
    }

    cgi_form_free(g_cgi_form);
    g_cgi_form = nullptr;
    return 0;
}
