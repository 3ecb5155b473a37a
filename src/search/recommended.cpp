// Recommended links whose keywords match the query.
#include "search/search.h"

bool write_recommended_links(SearchContext &, SearchRun &) {
    return true;
}
