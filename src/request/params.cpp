// Loading the settings for the request, reading every CGI parameter of the
// request into g_request, and freeing what that reading allocated.
#include <stdlib.h>
#include <string.h>

#include "context/context.h"
#include "platform/platform.h"
#include "request/request.h"

RequestParams g_request;

namespace {
constexpr int kMetaWorkValues = 256;  // work array of a multi-choice list

const char kMemoryHeader[] = "Content-type: text/html\n\n";
const char kMemoryMessage[] = "Error: Memory Allocation Error";

void report_no_memory() {
    out_printf("%s", kMemoryHeader);
    out_printf("%s", kMemoryMessage);
}

// Bounded copy of an environment text into a fixed field.
void copy_field(char *field, size_t size, const char *value) {
    size_t length = strlen(value);
    if (length > size - 1) length = size - 1;
    memcpy(field, value, length);
    field[length] = '\0';
}

// The query under vesk_query, else under the raw spelling vesk%5Fquery.
void read_query(RequestParams &request) {
    request.query_given = 0;
    memset(request.query, 0, sizeof request.query);
    const char *value = cgi_find_first(g_cgi_form, "vesk_query");
    if (value == nullptr) value = cgi_find_first(g_cgi_form, "vesk%5Fquery");
    if (value == nullptr) return;
    copy_field(request.query, sizeof request.query, value);
    request.query_given = 1;
}

// A date of at most 10 characters, else "".
void read_date(const char *name, char *field) {
    char value[kRequestDateMaxChars + 1];
    if (cgi_form_string(name, value, kRequestDateMaxChars) == CGI_OK)
        memcpy(field, value, sizeof value);
    else
        field[0] = '\0';
}

// A 32-bit request value stored in the low half of a 64-bit bound.
int64_t read_time_bound(const char *name) {
    int32_t value = 0;
    if (cgi_form_integer(name, &value, 0) != CGI_OK) return 0;
    return (int64_t)(uint32_t)value;
}

// Reads an integer list under name with raw brackets, then with "[]", then the
// bare name as one value (-1 when absent or bad). *count: capacity in, stored out.
void read_integer_list(const char *raw_brackets, const char *brackets, const char *bare,
                       int32_t *values, int32_t *count, int32_t max) {
    int32_t capacity = *count;
    if (cgi_form_integer_multiple(raw_brackets, values, count, max) == CGI_OK) return;
    *count = capacity;
    if (cgi_form_integer_multiple(brackets, values, count, max) == CGI_OK) return;
    int32_t single = -1;
    if (cgi_form_integer(bare, &single, -1) != CGI_OK) single = -1;
    values[0] = single;
    *count = 1;
}

// Categories: false after an allocation failure (already reported).
bool read_categories(RequestParams &request) {
    const SearchContext &c = g_search_context;
    int32_t capacity = c.NumCats > 0 ? c.NumCats : 1;
    request.selected_cats = (int32_t *)calloc((size_t)capacity, sizeof(int32_t));
    if (request.selected_cats == nullptr) {
        report_no_memory();
        return false;
    }
    request.selected_cat_count = capacity;
    read_integer_list("vesk_cat%5B%5D", "vesk_cat[]", "vesk_cat", request.selected_cats,
                      &request.selected_cat_count, c.NumCats);
    return true;
}

// One buffer per meta field: false after an allocation failure (already reported).
bool read_meta_values(RequestParams &request) {
    const SearchContext &c = g_search_context;
    int32_t fields = defined_meta_field_count();
    request.meta_values = (char **)calloc(fields > 0 ? (size_t)fields : 1, sizeof(char *));
    if (request.meta_values == nullptr) {
        report_no_memory();
        return false;
    }
    request.meta_value_count = fields;
    int32_t *work = (int32_t *)calloc(kMetaWorkValues, sizeof(int32_t));
    if (work == nullptr) {
        report_no_memory();
        return false;
    }
    bool ok = true;
    for (int32_t i = 0; i < fields; i++) {
        const MetaField &field = c.g_meta_fields[i];
        if (field.type == 3) {
            unsigned char *buffer = (unsigned char *)calloc(kMultiChoiceBufferSize, 1);
            if (buffer == nullptr) {
                report_no_memory();
                ok = false;
                break;
            }
            request.meta_values[i] = (char *)buffer;
            char raw_brackets[kMetaTextSize + 8];
            char brackets[kMetaTextSize + 4];
            snprintf(raw_brackets, sizeof raw_brackets, "%s%%5B%%5D", field.name);
            snprintf(brackets, sizeof brackets, "%s[]", field.name);
            int32_t count = kMultiChoiceMaxValue;
            read_integer_list(raw_brackets, brackets, field.name, work, &count,
                              kMultiChoiceMaxValue);
            int written = 0;
            for (int32_t k = 0; k < count && written < kMultiChoiceMaxValue; k++) {
                if (work[k] >= kMultiChoiceMaxValue) continue;
                buffer[1 + written++] = (unsigned char)work[k];
            }
            buffer[0] = (unsigned char)written;
        } else {
            // Filled by the lookup below; only its first byte needs clearing.
            char *buffer = (char *)malloc(kMetaTextBufferSize);
            if (buffer == nullptr) {
                report_no_memory();
                ok = false;
                break;
            }
            buffer[0] = '\0';
            request.meta_values[i] = buffer;
            if (cgi_form_string(field.name, buffer, kMetaTextBufferSize - 1) != CGI_OK)
                buffer[0] = '\0';
        }
    }
    free(work);
    return ok;
}
}  // namespace

bool read_cgi_parameters() {
    RequestParams &request = g_request;
    g_cgi_form = cgi_form_create();
    if (g_cgi_form == nullptr) {
        out_printf("Content-type: text/html\n\n");
        out_printf("<H3>%s</H3>%c", cgi_error_text(), '\n');
        platform_end_process(1);
    }

    if (cgi_form_integer("vesk_xml", &request.xml, PARAM_NOT_GIVEN) != CGI_OK)
        request.xml = PARAM_NOT_GIVEN;
    copy_field(request.remote_addr, sizeof request.remote_addr, getenv_or_empty("REMOTE_ADDR"));
    read_query(request);
    if (cgi_form_integer("vesk_per_page", &request.per_page, 10) != CGI_OK) request.per_page = 10;
    request.page_not_given = 0;
    if (cgi_form_integer("vesk_page", &request.page, 1) != CGI_OK) {
        request.page = 1;
        request.page_not_given = 1;
    }
    if (cgi_form_integer("vesk_ac", &request.autocomplete, 0) != CGI_OK) request.autocomplete = 0;
    if (cgi_form_integer("vesk_and", &request.match_all, PARAM_NOT_GIVEN) != CGI_OK)
        request.match_all = PARAM_NOT_GIVEN;
    if (cgi_form_integer("vesk_sort", &request.sort_order, request.default_sort) != CGI_OK)
        request.sort_order = request.default_sort;
    read_date("vesk_datefrom", request.date_from);
    read_date("vesk_dateto", request.date_to);
    request.ltime_from = read_time_bound("vesk_ltimefrom");
    request.ltime_to = read_time_bound("vesk_ltimeto");
    if (cgi_form_integer("masternode", &request.masternode_flag, 0) != CGI_OK)
        request.masternode_flag = 0;
    const char *script_url = getenv_or_empty("SCRIPT_NAME");
    if (strlen(script_url) < sizeof request.script_url)
        copy_field(request.script_url, sizeof request.script_url, script_url);

    bool ok = true;
    if (g_search_context.UseCats != 0 && !read_categories(request)) ok = false;
    if (g_search_context.UseMetaFields != 0 && !read_meta_values(request)) return false;
    return ok;
}

void free_request() {
    RequestParams &request = g_request;
    free(request.selected_cats);
    request.selected_cats = nullptr;
    if (request.meta_values != nullptr) {
        for (int32_t i = 0; i < request.meta_value_count; i++) free(request.meta_values[i]);
        free(request.meta_values);
        request.meta_values = nullptr;
    }
    if (g_cgi_form != nullptr) {
        cgi_form_free(g_cgi_form);
        g_cgi_form = nullptr;
    }
}

int load_settings(RequestParams *request) {
    request->autocomplete = 0;
    if (load_settings_from(request->index_directory, request->script_file_name) != 0) return 1;
    request->default_sort = g_search_context.DefaultSort;
    return 0;
}
