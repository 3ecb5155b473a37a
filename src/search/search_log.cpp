// The search time on the page and the line of the search log.
#include "search/search.h"

void write_search_time_and_log(SearchContext &, SearchRun &) {}
