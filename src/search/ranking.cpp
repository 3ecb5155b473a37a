// Ranking: the pages the cut-off took become weighted result records, sorted
// by relevance or date; on the first result page up to three results from
// different hosts are picked to show first.
#include <math.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "index/index.h"
#include "search/search.h"

namespace {
const char kOutOfMemory[] = "Out of memory\n";
constexpr float kBaseWeight = 1.7f;   // zone weight W without WeightProximity
constexpr float kBaseFactor = 1.3f;   // base of a page without zone bits
constexpr float kZoneScale = 255.0f;  // zone byte of every zone
constexpr uint32_t kPowerHits = 10;   // hit counts above this add linearly
constexpr int kPageUrlSize = 15017;   // page address read for its host
const char kSchemeMark[] = "://";

// Whether the cut-off took the bucket of page's ranking value.
bool bucket_taken(const SearchContext &c, const SearchRun &run, uint32_t page,
                  const PageScore &score) {
    const uint32_t value =
        c.g_sort_order > 0 ? page_info_date(page_record(page), c.UseBigPageInfoData) : score.score;
    const int64_t bucket = rank_bucket(c, run, value);
    if (c.g_sort_order == 2) return bucket < run.cut_last_bucket;
    return bucket > run.cut_last_bucket;
}

// Counts the page in every category that holds it (all-categories summary).
void count_categories(const SearchContext &c, SearchRun &run, uint32_t page) {
    const uint8_t *bitmap = page_category_bitmap(page);
    for (int32_t category = 0; category < c.NumCats; category++) {
        if (page_in_category(category, bitmap) == 0) continue;
        run.category_counts[category]++;
        run.category_counted = true;
    }
}

// The host of a URL: the text after "://" (at position 1 or later) up to the
// first '/', kept when 1 to kMaxHostLength characters long; else "".
void url_host(const char *url, char *host) {
    host[0] = '\0';
    const char *mark = strstr(url, kSchemeMark);
    if (mark == nullptr || mark == url) return;
    const char *start = mark + sizeof kSchemeMark - 1;
    if (*start == '\0') return;
    const size_t length = strcspn(start, "/");
    if (length < 1 || length > (size_t)kMaxHostLength) return;
    memcpy(host, start, length);
    host[length] = '\0';
}

// Picks up to three results from different hosts, in sorted order.
bool pick_diverse_results(SearchContext &c, const SearchRun &run) {
    static char url[kPageUrlSize];
    char *host = (char *)malloc(kHostSize);
    if (host == nullptr) return false;
    for (uint32_t pos = 0; pos < run.result_count && c.g_picked_count < c.MaxDomainDiversity &&
                           c.g_picked_count < kDiversityPicks;
         pos++) {
        url[0] = '\0';
        if (!read_page_data_url(run.results[pos].page, url)) continue;
        url_host(url, host);
        bool seen = false;
        for (int32_t k = 0; k < c.g_picked_count && !seen; k++)
            seen = strcasecmp(c.g_picked_hosts[k], host) == 0;
        if (seen) continue;
        char *copy = strdup(host);
        if (copy == nullptr) {
            free(host);
            return false;
        }
        c.g_picked_results[c.g_picked_count] = (int32_t)pos;
        c.g_picked_hosts[c.g_picked_count++] = copy;
    }
    free(host);
    return true;
}

ResultComparator comparator_for(const SearchContext &c) {
    if (c.UseDateTime == 1 && c.g_sort_order == 1) return compare_results_by_date_desc;
    if (c.UseDateTime == 1 && c.g_sort_order == 2) return compare_results_by_date_asc;
    return compare_results_by_score;
}

bool is_picked(const SearchContext &c, uint32_t pos) {
    for (int32_t k = 0; k < c.g_picked_count; k++)
        if (c.g_picked_results[k] == (int32_t)pos) return true;
    return false;
}
}  // namespace

uint32_t saturating_product(uint32_t a, uint32_t b) {
    const uint64_t product = (uint64_t)a * b;
    return product > 0xFFFFFFFFu ? 0xFFFFFFFFu : (uint32_t)product;
}

uint32_t float_to_u32(float value) {
    if (!(value > 0.0f)) return 0;  // NaN too
    if (value >= 4294967296.0f) return 0xFFFFFFFFu;
    return (uint32_t)value;
}

uint32_t final_score(const SearchContext &c, uint32_t score, uint8_t zones, uint32_t hits) {
    const float weight =
        c.WeightProximity != 0 ? (float)c.WeightProximity / 10.0f + kBaseWeight : kBaseWeight;
    const float base = (float)zones / kZoneScale * weight + kBaseFactor;
    float factor = base;
    if (hits > kPowerHits)
        factor = (float)(pow((double)base, (double)kPowerHits) + (double)(hits - kPowerHits));
    else if (hits >= 2)
        factor = (float)pow((double)base, (double)(hits - 1));
    return float_to_u32((float)score * factor + 0.5f);
}

bool rank_pages(SearchContext &c, SearchRun &run) {
    if (c.g_result_capacity > 0) {
        const uint64_t bytes = (uint64_t)c.g_result_capacity * sizeof(SearchResult);
        if (bytes <= SIZE_MAX) run.results = (SearchResult *)platform_arena_alloc((size_t)bytes);
        if (run.results == nullptr) {
            finish_search_error(c, kOutOfMemory, "</vesk:error>\n");
            return false;
        }
    }
    const bool count_all = c.UseCats == 1 && c.DisplayCatSummary == 1 &&
                           run.category_counts != nullptr &&
                           (c.g_selected_cats == nullptr || c.g_selected_cats[0] == -1);
    for (uint32_t page = 0; page < run.page_count; page++) {
        const PageScore &score = run.page_scores[page];
        if (score.score == 0) continue;
        if (count_all) count_categories(c, run, page);
        if (!bucket_taken(c, run, page, score) || run.result_count >= c.g_result_capacity) continue;
        SearchResult &result = run.results[run.result_count++];
        result.page = page;
        result.hits = score.hits;
        memcpy(result.positions, score.positions, sizeof result.positions);
        result.final_score = final_score(c, score.score, score.zones, score.hits);
    }
    if (run.match_count > 1) sort_results(run.results, run.result_count, comparator_for(c), c);
    if (c.UseDomainDiversity != 1 || c.g_page != 1 ||
        run.match_count <= (uint32_t)kDiversityMinMatches || c.g_picked_results == nullptr) {
        c.UseDomainDiversity = 0;
        return true;
    }
    if (!pick_diverse_results(c, run)) {
        finish_search_error(c, kOutOfMemory, "</vesk:error>\n");
        return false;
    }
    return true;
}

const SearchResult *result_for_slot(const SearchContext &c, const SearchRun &run, uint32_t slot) {
    if (c.UseDomainDiversity == 1 && c.g_page == 1) {
        if (slot < (uint32_t)c.g_picked_count) return &run.results[c.g_picked_results[slot]];
        // Later slots show the results that were not picked, in sorted order.
        uint32_t wanted = slot - (uint32_t)c.g_picked_count;
        for (uint32_t pos = 0; pos < run.result_count; pos++) {
            if (is_picked(c, pos)) continue;
            if (wanted-- == 0) return &run.results[pos];
        }
        return nullptr;
    }
    const int64_t pos = ((int64_t)c.g_page - 1) * (int64_t)c.g_per_page + (int64_t)slot;
    if (pos < 0 || pos >= (int64_t)run.result_count) return nullptr;
    return &run.results[pos];
}
