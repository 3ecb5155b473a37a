// Page filters and the result cut-off.
#include "search/search.h"

bool filter_pages(SearchContext &, SearchRun &) {
    return true;
}
