// Construction, per-request reset and release of the one SearchContext, the
// timer, the index directory opened once per request, and the file routines
// the index readers share.
#include <errno.h>
#include <fcntl.h>
#include <libstemmer.h>
#include <stdlib.h>
#include <string.h>

#include "context/context.h"
#include "platform/platform.h"

SearchContext g_search_context;
int64_t g_timer_start = 0;

namespace {
// Offsets above this get the "larger than 2GB" seek message.
constexpr int64_t kLargeFileOffset = 2000000000;
const char kSeekPastLimitMessage[] =
    "Error seeking in file. This CGI build does not support files larger than 2GB in size. "
    "Please contact Orlatine for help.";
const char kSeekFailedMessage[] =
    "Error seeking in file. This may be due to an incompatible CGI build for your operating "
    "system. Please contact Orlatine for help.";

// Bounded copy of a constant into a fixed member.
template <size_t N>
void set_text(char (&member)[N], const char *value) {
    snprintf(member, N, "%s", value);
}

// Builds the context before main and registers its (empty) destructor.
struct ContextConstructor {
    ContextConstructor() {
        init_search_context();
        atexit(destroy_search_context);
    }
};
ContextConstructor g_construct_globals;

// The index directory, opened once per request, and the g_base_directory
// text it was opened for.
int g_base_directory_fd = -1;
char g_base_directory_opened[kBaseDirectorySize];
int g_base_directory_error = 0;  // errno of its failed open
static_assert(sizeof g_base_directory_opened == sizeof g_search_context.g_base_directory,
              "the opened path is a copy of the whole member");

// Frees `count` heap texts of a table and then the table; null-safe.
void free_text_table(char **&table, int32_t count) {
    if (table == nullptr) return;
    for (int32_t i = 0; i < count; i++) free(table[i]);
    free(table);
    table = nullptr;
}
}  // namespace

void init_search_context() {
    SearchContext &c = g_search_context;
    // Every pointer null, every count 0, every text empty. At process start the
    // static object is already all zero; not writing it again spares the start
    // of every request the page faults of the whole object.
    static bool constructed = false;
    if (constructed) memset(&c, 0, sizeof c);
    constructed = true;

    // Settings defaults that are not 0 or empty.
    c.StemmingAlgo = 2;
    c.HighlightLimit = 30;
    c.DotNetUseFormTags = 1;
    c.FileTypePluginStart = 4;
    c.VeskInfo = 1;
    c.MaxKeyWordLineLen = 32;
    c.MaxResultsPerQuery = 1000;
    c.MaxSearchTime = 30;
    c.MaxDomainDiversity = 3;
    set_text(c.MetaMoneyCurrency, "&#36;");

    set_text(c.settings_file_name, "settings.vdat");
    set_text(c.LogFileName, ".//logs//searchwords.log");
    set_text(c.template_file_name, "search_template.html");
    set_text(c.pagedata_file_name, "vesk_pagedata.vdat");
    set_text(c.pagetext_file_name, "vesk_pagetext.vdat");
    set_text(c.pageinfo_file_name, "vesk_pageinfo.vdat");
    set_text(c.recommended_file_name, "vesk_recommended.vdat");
    set_text(c.autocomplete_file_name, "vesk_autocomplete.vdat");
    const int32_t choices[kPerPageChoiceCount] = {10, 20, 50, 100, -1};
    memcpy(c.g_per_page_choices, choices, sizeof choices);
    set_text(c.g_link_separator, "?");

    reset_request_state();
    g_timer_start = timer_now();
}

void destroy_search_context() {}

int reset_request_state() {
    SearchContext &c = g_search_context;
    c.g_per_page = 10;
    c.g_page = 1;
    c.g_match_all = 0;
    c.g_sort_order = 0;
    c.g_rank_min = c.g_rank_max = c.g_result_capacity = c.g_rank_threshold = 0;
    c.g_query_word_count = 0;
    c.g_skipped_word_count = 0;
    c.g_nonsearch_word_count = 0;
    c.g_recommended_shown = 0;
    c.g_last_recommended_page = 0;
    c.g_search_cut_short = c.g_query_given = c.g_meta_only_search = 0;
    c.g_stemmer = nullptr;
    c.g_query_text[0] = '\0';
    c.g_query_plain[0] = '\0';
    c.g_query_html[0] = '\0';
    c.g_query_urlencoded[0] = '\0';
    c.g_date_from[0] = '\0';
    c.g_date_to[0] = '\0';
    c.g_ltime_from = c.g_ltime_to = 0;
    c.g_picked_count = 0;
    return 1;
}

int64_t timer_now() {
    return platform_counter();
}

double timer_seconds(int64_t start, int64_t end) {
    return (double)(end - start) / (double)platform_counter_frequency();
}

bool open_base_directory() {
    SearchContext &c = g_search_context;
    platform_close_file(g_base_directory_fd);
    g_base_directory_fd = platform_open_directory(c.g_base_directory);
    g_base_directory_error = g_base_directory_fd < 0 ? errno : 0;
    memcpy(g_base_directory_opened, c.g_base_directory, sizeof g_base_directory_opened);
    return g_base_directory_fd >= 0;
}

int base_directory_fd() {
    const SearchContext &c = g_search_context;
    if (g_base_directory_fd < 0 ||
        strncmp(g_base_directory_opened, c.g_base_directory, kBaseDirectorySize) != 0)
        open_base_directory();
    if (g_base_directory_fd < 0) errno = g_base_directory_error;
    return g_base_directory_fd;
}

int open_data_descriptor(const char *name) {
    const int directory = base_directory_fd();
    if (directory >= 0) return platform_open_file(directory, name, O_RDONLY);
    platform_save_error();
    return -1;
}

FILE *open_data_file(const char *name) {
    const int directory = base_directory_fd();
    if (directory >= 0) return platform_open_stream(directory, name);
    platform_save_error();
    return nullptr;
}

int seek_data_file(FILE *file, int64_t offset) {
    int result = platform_seek(file, offset);
    if (result == 0) return 0;
    print_error_message(offset > kLargeFileOffset ? kSeekPastLimitMessage : kSeekFailedMessage,
                        "</vesk:error>");
    return result;
}

void release_search_buffers() {
    SearchContext &c = g_search_context;
    const int32_t words = (int32_t)c.g_query_word_count;
    free_text_table(c.g_query_words, words);
    free(c.g_term_is_wildcard);
    c.g_term_is_wildcard = nullptr;
    free(c.g_term_first_word_id);
    c.g_term_first_word_id = nullptr;
    if (c.g_phrase_word_ids != nullptr) {
        for (int32_t i = 0; i < words; i++) free(c.g_phrase_word_ids[i]);
        free(c.g_phrase_word_ids);
        c.g_phrase_word_ids = nullptr;
    }
    free_text_table(c.g_query_word_copies, words);
    platform_arena_free(c.g_page_text_buffer);
    c.g_page_text_buffer = nullptr;
    platform_arena_free(c.g_page_line);
    c.g_page_line = nullptr;
    free_text_table(c.g_section_texts, kSectionCount);
    free(c.g_section_capacity);
    c.g_section_capacity = nullptr;
    free(c.g_section_length);
    c.g_section_length = nullptr;
    free(c.g_result_buffer);
    c.g_result_buffer = nullptr;
    if (c.g_stemmer != nullptr) {
        sb_stemmer_delete(c.g_stemmer);
        c.g_stemmer = nullptr;
    }
}

void release_context_tables() {
    SearchContext &c = g_search_context;
    release_search_buffers();
    free_text_table(c.g_category_names, c.g_category_capacity);
    c.g_category_capacity = 0;
    if (c.g_meta_fields != nullptr) {
        for (int32_t i = 0; i < c.g_meta_field_capacity; i++) {
            MetaField &field = c.g_meta_fields[i];
            free_text_table(field.options, field.option_count > 0 ? field.option_count : 0);
        }
        free(c.g_meta_fields);
        c.g_meta_fields = nullptr;
        c.g_meta_field_capacity = 0;
    }
    free_text_table(c.g_accent_chars, c.g_accent_capacity);
    free_text_table(c.g_normal_chars, c.g_accent_capacity);
    c.g_accent_capacity = 0;
    free(c.g_recommended);
    c.g_recommended = nullptr;
    free_text_table(c.g_str_texts, kStrTextCount);
}

char *get_system_error_text() {
    return platform_last_error_text();
}

void free_system_error_text(char *text) {
    platform_free_error_text(text);
}
