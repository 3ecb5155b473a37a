// The result page around the result blocks: heading, skipped words, summary,
// suggestions, category summary, page count, sort links and page numbers.
#include "search/search.h"

void write_heading(SearchContext &, SearchRun &) {}
void encode_query_for_links(SearchContext &) {}
void write_skipped_notice(SearchContext &, SearchRun &) {}
void build_meta_link_suffix(SearchContext &) {}
void write_summary(SearchContext &, SearchRun &) {}
void write_pages_and_sorting(SearchContext &, SearchRun &) {}
void write_page_numbers(SearchContext &, SearchRun &) {}
