// Context excerpts from the page text, and the marking of query terms in
// titles, descriptions and excerpts.
#include "search/search.h"

void write_context_excerpt(SearchContext &, SearchRun &, const SearchResult &, const char *) {}

void highlight_terms(SearchContext &, const char *text, int section) {
    if (section == kResultsBufferTarget)
        buffer_printf("%s", text);
    else
        section_printf(section, "%s", text);
}
