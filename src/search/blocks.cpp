// The result blocks of one result page, in HTML or as RSS items.
#include "search/search.h"

bool write_result_blocks(SearchContext &, SearchRun &) {
    return true;
}
