// Ranking: final scores, the result list, its sort and domain diversity.
#include "search/search.h"

uint32_t saturating_product(uint32_t a, uint32_t b) {
    const uint64_t product = (uint64_t)a * b;
    return product > 0xFFFFFFFFu ? 0xFFFFFFFFu : (uint32_t)product;
}

uint32_t float_to_u32(float value) {
    if (!(value > 0.0f)) return 0;  // NaN too
    if (value >= 4294967296.0f) return 0xFFFFFFFFu;
    return (uint32_t)value;
}

bool rank_pages(SearchContext &, SearchRun &) {
    return true;
}

const SearchResult *result_for_slot(const SearchContext &, const SearchRun &, uint32_t) {
    return nullptr;
}
