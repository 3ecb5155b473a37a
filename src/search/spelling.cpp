// Spelling suggestions from the phonetic keys of the spelling list.
#include "index/index.h"
#include "search/search.h"

bool write_spelling_suggestions(SearchContext &, SearchRun &) {
    free_spelling_list();
    return true;
}
