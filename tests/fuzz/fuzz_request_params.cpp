// libFuzzer target of request reading: the input is the query string of a GET
// request, read into the request record with categories and meta fields of
// every type switched on, then copied into the context by the page head and
// its query prepared; everything is released again.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "context/context.h"
#include "index/index.h"
#include "request/request.h"

namespace {
constexpr int kCategories = 5;
constexpr int kMetaFields = 5;

// Settings a site with categories and one meta field of each type would have.
void set_up_settings() {
    SearchContext &c = g_search_context;
    c.UseCats = 1;
    c.NumCats = kCategories;
    c.FormFormat = 2;
    c.SearchMultiCats = 1;
    c.DateRangeSearch = 1;
    c.UseMetaFields = 1;
    c.NumMetaFields = kMetaFields;
    c.g_meta_fields = (MetaField *)calloc(kMetaFields, sizeof(MetaField));
    c.g_meta_field_capacity = kMetaFields;
    for (int i = 0; i < kMetaFields; i++) {
        MetaField &field = c.g_meta_fields[i];
        field.type = i;
        snprintf(field.name, sizeof field.name, "m%d", i);
        if (i == 2 || i == 3) {
            field.option_count = 3;
            field.options = (char **)calloc(3, sizeof(char *));
            for (int k = 0; k < 3; k++) field.options[k] = strdup("option");
        }
    }
    c.g_category_names = (char **)calloc(kCategories, sizeof(char *));
    c.g_category_capacity = kCategories;
    c.g_str_texts = (char **)calloc(kStrTextCount, sizeof(char *));
    for (int i = 0; i < kStrTextCount; i++) c.g_str_texts[i] = strdup("text");
    allocate_output_buffers();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string query((const char *)data, size);
    if (query.find('\0') != std::string::npos) return 0;  // environment texts hold no NUL
    setenv("REQUEST_METHOD", "GET", 1);
    setenv("QUERY_STRING", query.c_str(), 1);
    setenv("REMOTE_ADDR", "2001:0db8:85a3:0000:0000:8a2e:0370:7334", 1);
    setenv("SCRIPT_NAME", "/cgi-bin/sitequery", 1);

    init_search_context();
    set_up_settings();
    memset(&g_request, 0, sizeof g_request);
    if (read_cgi_parameters()) {
        reset_request_state();
        // The page head prints; keep its output out of the fuzzer's log.
        FILE *saved = stdout;
        stdout = fopen("/dev/null", "w");
        g_request.autocomplete = 0;
        if (begin_page(&g_search_context, &g_request)) release_all();
        fclose(stdout);
        stdout = saved;
    }
    release_all();
    free_request();
    return 0;
}
