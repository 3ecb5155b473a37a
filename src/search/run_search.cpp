// The search request from start to end: every stage in its order, the state
// they share, and the ending of the page after an error.
#include <stdlib.h>
#include <string.h>

#include "index/index.h"
#include "search/search.h"

const char kSearchOutOfMemory[] = "Out of memory";
const char kWordmapNoDataMessage[] = "Error in wordmap file: expected data not found.";

void finish_search_error(const SearchContext &, const char *message, const char *closing) {
    finish_page_after_error(message, closing);
}

bool search_pages(SearchContext &c, SearchRun &run) {
    if (!setup_stemmer(c)) {
        finish_page_after_error(nullptr, "");
        return false;
    }
    if (!write_heading(c, run)) return false;
    if (!setup_search(c, run)) return false;
    classify_terms(c);
    mark_excluded_terms(c, run);
    encode_query_for_links(c);
    if (!write_recommended_links(c, run)) return false;
    if (!look_up_terms(c, run)) return false;
    write_skipped_notice(c, run);
    if (!filter_pages(c, run)) return false;
    return rank_pages(c, run);
}

void release_search_run(SearchContext &c, SearchRun &run) {
    free(run.category_link_suffix);
    run.category_link_suffix = nullptr;
    free(c.g_meta_link_suffix);
    c.g_meta_link_suffix = nullptr;
    platform_arena_free(run.results);
    run.results = nullptr;
    run.result_count = 0;
    platform_arena_free(run.page_scores);
    run.page_scores = nullptr;
    run.page_count = 0;
    free(run.term_record_counts);
    run.term_record_counts = nullptr;
    free(run.category_counts);
    run.category_counts = nullptr;
    free_wordmap_block(&run.block);
    free_phrase_blocks(run);
    free_phrase_text(run);
    free_phrase_words(c);
    free(c.g_picked_results);
    c.g_picked_results = nullptr;
    if (c.g_picked_hosts != nullptr) {
        for (int i = 0; i < kDiversityPicks; i++) free(c.g_picked_hosts[i]);
        free(c.g_picked_hosts);
        c.g_picked_hosts = nullptr;
    }
    c.g_picked_count = 0;
    free_spelling_list();
}

int run_search(SearchContext *context) {
    SearchContext &c = *context;
    // About 10 KB of texts and counters: on the stack, zeroed once.
    SearchRun run;
    memset(&run, 0, sizeof run);
    if (search_pages(c, run) && build_meta_link_suffix(c)) {
        write_summary(c, run);
        if (write_spelling_suggestions(c, run)) {
            write_pages_and_sorting(c, run);
            if (write_result_blocks(c, run)) {
                close_index_files();
                write_page_numbers(c, run);
                write_search_time_and_log(c, run);
                print_template();
                release_all();
            }
        }
    }
    release_search_run(c, run);
    return 0;
}
