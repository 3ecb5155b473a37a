// The page filters and the result cut-off: every scored page is tested
// against the address filter, the meta fields, match-all, the categories and
// the date range; the kept pages get a ranking value, and a histogram of those
// values decides how many pages the ranking keeps, without sorting them all.
#include <math.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "index/index.h"
#include "search/search.h"
#include "text/text.h"

namespace {
const char kOutOfMemory[] = "Error: Out of memory";
const char kDateSuffixFormat[] = "&amp;vesk_datefrom=%s&amp;vesk_dateto=%s";
constexpr int kPageUrlSize = 15017;  // page address read for the address filter
constexpr int kDateTextCap = 15;     // an encoded date text: at most 14 characters
constexpr int kEndOfDayHour = 23, kEndOfDayMinute = 59, kEndOfDaySecond = 59;
constexpr int kTmYearBase = 1900;

// Reads "%d/%d/%d": each number skips leading white space, takes an optional
// sign and digits, and saturates instead of overflowing; a '/' must follow the
// first two at once. Numbers not read stay 0.
void scan_date(const char *text, int32_t numbers[3]) {
    numbers[0] = numbers[1] = numbers[2] = 0;
    const char *at = text;
    for (int k = 0; k < 3; k++) {
        if (!scan_int32(at, &numbers[k])) return;
        while (*at == ' ' || (*at >= '\t' && *at <= '\r')) at++;
        if (*at == '+' || *at == '-') at++;
        while (*at >= '0' && *at <= '9') at++;
        if (k < 2 && *at++ != '/') return;
    }
}

// Local time of a day at the given hour, in standard time. -1 when the
// conversion fails.
int64_t local_day_time(int32_t day, int32_t month, int32_t year, int hour, int minute, int second) {
    struct tm t;
    memset(&t, 0, sizeof t);
    t.tm_mday = day;
    t.tm_mon = month - 1;
    t.tm_year = year - kTmYearBase;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = 0;
    return (int64_t)mktime(&t);
}

// The page's value of a text field against the request's text q.
bool text_field_passes(const MetaField &field, const PageMetaValue &v, const char *q) {
    if (!v.present || v.length == 0) return false;
    const char *text = (const char *)v.bytes;
    const size_t q_length = strlen(q);
    if (field.match_op == 5) {
        if (q_length > v.length) return false;
        return find_text_nocase(text, q, (int)v.length) != nullptr;
    }
    return q_length == v.length && compare_words_n(q, text, (int)v.length) == 0;
}

// A multi-choice request value: its count byte and option bytes, bounded by
// the request's buffer.
bool multi_choice_passes(const PageMetaValue &v, const uint8_t *q) {
    if (!v.present || v.length == 0) return false;
    for (int k = 1; k <= q[0]; k++)
        for (uint32_t p = 0; p < v.length; p++)
            if (q[k] == v.bytes[p]) return true;
    return false;
}

bool multi_choice_any(const uint8_t *q) {
    for (int k = 1; k <= q[0]; k++)
        if (q[k] == kNoMetaOption) return true;
    return false;
}

// The request's number for a numeric or money field.
uint32_t requested_number(const SearchContext &c, const MetaField &field, const char *q) {
    if (field.type == kMetaMoney && c.UseMetaFields == 1 && c.MetaMoneyShowDec == 1) {
        const float value = strtof(q, nullptr);
        return float_to_u32((value + 0.005f) * 100.0f);
    }
    uint32_t number = 0;
    scan_uint32(q, &number);
    return number;
}

bool number_passes(int32_t match_op, uint32_t v, uint32_t q) {
    switch (match_op) {
        case 1:
            return v < q;
        case 2:
            return v <= q;
        case 3:
            return v > q;
        case 4:
            return v >= q;
        default:
            return v == q;
    }
}

// One field's test: 1 kept, 0 dropped, -1 not tested.
int test_meta_field(const SearchContext &c, const MetaField &field, const PageMetaValue &v,
                    const char *q) {
    if (q == nullptr || q[0] == '\0') return -1;
    switch (field.type) {
        case kMetaText:
            return text_field_passes(field, v, q) ? 1 : 0;
        case kMetaDropDown: {
            if (lenient_atoi(q) == -1) return -1;
            if (!v.present) return 0;
            uint32_t wanted = 0;
            scan_uint32(q, &wanted);
            return wanted == v.number ? 1 : 0;
        }
        case kMetaMultiple:
            if (multi_choice_any((const uint8_t *)q)) return -1;
            return multi_choice_passes(v, (const uint8_t *)q) ? 1 : 0;
        default:
            if (!v.present) return 0;
            return number_passes(field.match_op, v.number, requested_number(c, field, q)) ? 1 : 0;
    }
}

// Whether the page's URL holds the address filter. A URL that cannot be read passes.
bool url_filter_passes(SearchContext &c, const SearchRun &run, uint32_t page, PageScore &score) {
    static char url[kPageUrlSize];
    url[0] = '\0';
    if (!read_page_data_url(page, url)) return true;
    if (find_text_nocase(url, run.url_filter, 0) == nullptr) return false;
    if (c.g_meta_only_search) {
        score.score++;
        score.hits++;
    }
    return true;
}

// Whether the page is in one of the selected categories; counts each hit.
bool category_filter_passes(SearchContext &c, SearchRun &run, uint32_t page) {
    const uint8_t *bitmap = page_category_bitmap(page);
    bool found = false;
    for (int32_t k = 0; k < c.g_selected_cat_count; k++) {
        const int32_t category = c.g_selected_cats[k];
        if (page_in_category(category, bitmap) == 0) continue;
        found = true;
        if (c.DisplayCatSummary == 1 && run.category_counts != nullptr && category >= 0 &&
            category < c.NumCats) {
            run.category_counts[category]++;
            run.category_counted = true;
        }
    }
    return found;
}

bool all_categories(const SearchContext &c) {
    return c.g_selected_cats == nullptr || c.g_selected_cat_count < 1 || c.g_selected_cats[0] == -1;
}

// Whether the page passes every filter; the hit test comes first.
bool page_kept(SearchContext &c, SearchRun &run, uint32_t page, PageScore &score) {
    if (!c.g_meta_only_search && (score.score == 0 || score.hits == 0)) return false;
    if (run.url_filter[0] != '\0' && !url_filter_passes(c, run, page, score)) return false;
    if (c.UseMetaFields != 0 && !page_passes_meta_fields(c, page, score)) return false;
    if (c.g_match_all == 1 && score.ordered < run.required_terms) return false;
    if (c.UseCats != 0 && !all_categories(c) && !category_filter_passes(c, run, page)) return false;
    if (c.DateRangeSearch == 1 && run.date_active) {
        const int32_t date = (int32_t)page_info_date(page_record(page), c.UseBigPageInfoData);
        if (date < run.date_from || date > run.date_to) return false;
    }
    return true;
}

// The ranking value of a kept page; for relevance it replaces the score.
uint32_t ranking_value(const SearchContext &c, const SearchRun &run, uint32_t page,
                       PageScore &score) {
    if (c.g_sort_order > 0) return page_info_date(page_record(page), c.UseBigPageInfoData);
    // In 64 bits, saturated: a page with very many hits must not wrap to a low rank.
    int64_t value = ((int64_t)score.hits - 1) * (int64_t)run.max_score + (int64_t)score.score;
    if (value < 0) value = 0;
    if (value > (int64_t)0xFFFFFFFFu) value = 0xFFFFFFFFu;
    score.score = (uint32_t)value;
    return score.score;
}

// The cut-off: how many pages to keep, from the best buckets down (oldest up
// for order 2), whole buckets at a time.
void choose_cut_off(SearchContext &c, SearchRun &run, const uint32_t *histogram) {
    uint32_t sum = 0;
    int32_t k;
    if (c.g_sort_order == 2) {
        for (k = 0; (int64_t)sum < c.MaxResultsPerQuery && k < kRankBuckets; k++)
            sum += histogram[k];
        c.g_rank_threshold = k == kRankBuckets ? 0 : (uint32_t)k * run.rank_width + c.g_rank_min;
    } else {
        for (k = kRankBuckets - 1; (int64_t)sum < c.MaxResultsPerQuery && k >= 0; k--)
            sum += histogram[k];
        c.g_rank_threshold = (uint32_t)(k < 0 ? 0 : k) * run.rank_width + c.g_rank_min;
    }
    run.cut_last_bucket = k;
    c.g_result_capacity = sum;
}

// Ranking range, required terms and the category counts.
void prepare_filters(SearchContext &c, SearchRun &run) {
    if (c.g_sort_order == 0) {
        c.g_rank_min = 0;
        c.g_rank_max = saturating_product(run.max_hits, run.max_score);
    }
    run.required_terms =
        c.g_query_word_count - c.g_skipped_word_count - c.g_nonsearch_word_count - run.empty_words;
    if (c.UseCats != 0 && c.DisplayCatSummary == 1) {
        if (!all_categories(c) && c.g_selected_cat_count <= 1) {
            c.DisplayCatSummary = 0;
        } else if (c.NumCats > 0) {
            run.category_counts = (uint32_t *)calloc((size_t)c.NumCats, sizeof(uint32_t));
            // Without room for the counts the summary is left out.
            if (run.category_counts == nullptr) c.DisplayCatSummary = 0;
        }
    }
}
}  // namespace

void read_date_range(SearchContext &c, SearchRun &run) {
    c.g_date_link_suffix[0] = '\0';
    run.date_active = false;
    if (c.DateRangeSearch != 1) return;
    if (c.g_ltime_from > 0 && c.g_ltime_to > 0) {
        run.date_from = c.g_ltime_from;
        run.date_to = c.g_ltime_to;
        run.date_active = true;
        return;
    }
    int32_t from[3], to[3];
    scan_date(c.g_date_from, from);
    scan_date(c.g_date_to, to);
    for (int k = 0; k < 3; k++)
        if (from[k] <= 0 || to[k] <= 0) return;
    const bool month_first = c.DateRangeFormat == 1;
    const int day = month_first ? 1 : 0, month = month_first ? 0 : 1;
    const int64_t first = local_day_time(from[day], from[month], from[2], 0, 0, 0);
    const int64_t last =
        local_day_time(to[day], to[month], to[2], kEndOfDayHour, kEndOfDayMinute, kEndOfDaySecond);
    if (first == -1 || last == -1) return;
    run.date_from = first;
    run.date_to = last;
    run.date_active = true;
    url_encode(c.g_date_from, kDateTextCap);
    url_encode(c.g_date_to, kDateTextCap);
    snprintf(c.g_date_link_suffix, sizeof c.g_date_link_suffix, kDateSuffixFormat, c.g_date_from,
             c.g_date_to);
}

bool page_passes_meta_fields(SearchContext &c, uint32_t page, PageScore &score) {
    const int32_t fields = page_meta_field_count();
    const uint8_t *record = page_record(page);
    if (record == nullptr || c.g_page_meta_values == nullptr) return true;
    const uint8_t *at = c.g_page_meta_values[page];
    const uint8_t *end = record + page_info_record_length(record, c.UseBigPageInfoData);
    for (int32_t f = 0; f < fields; f++) {
        const MetaField &field = c.g_meta_fields[f];
        PageMetaValue value;
        if (!read_meta_value(&at, end, field.type, c.UseBigPageInfoData, &value)) return true;
        const char *q =
            c.g_meta_values != nullptr && f < c.g_meta_value_count ? c.g_meta_values[f] : nullptr;
        if (test_meta_field(c, field, value, q) == 0) return false;
        if (c.g_meta_only_search) {
            score.score++;
            score.hits++;
        }
    }
    return true;
}

uint32_t rank_bucket(const SearchContext &c, const SearchRun &run, uint32_t v) {
    const uint32_t width = run.rank_width > 0 ? run.rank_width : 1;
    const float scaled = ceilf((float)(v - c.g_rank_min) / (float)width);
    const uint32_t bucket = float_to_u32(scaled);
    return bucket >= (uint32_t)kRankBuckets ? kRankBuckets - 1 : bucket;
}

bool filter_pages(SearchContext &c, SearchRun &run) {
    prepare_filters(c, run);
    read_date_range(c, run);
    if (run.hit_page_count == 0 && !c.g_meta_only_search) return true;
    const uint32_t range = c.g_rank_max - c.g_rank_min;
    run.rank_width = range < (uint32_t)kRankBuckets
                         ? 1
                         : float_to_u32(ceilf((float)range / (float)kRankBuckets));
    if (run.rank_width == 0) run.rank_width = 1;
    // From the arena, whose pages the request's tables have already mapped.
    uint32_t *histogram = (uint32_t *)platform_arena_alloc(kRankBuckets * sizeof(uint32_t));
    if (histogram == nullptr) {
        platform_arena_free(run.page_scores);
        run.page_scores = nullptr;
        finish_search_error(c, kOutOfMemory, "</vesk:error>\n");
        return false;
    }
    for (uint32_t page = 0; page < run.page_count; page++) {
        PageScore &score = run.page_scores[page];
        if (!page_kept(c, run, page, score)) {
            score.score = 0;
            continue;
        }
        if (score.ordered >= run.required_terms) run.all_terms_count++;
        histogram[rank_bucket(c, run, ranking_value(c, run, page, score))]++;
        run.match_count++;
    }
    choose_cut_off(c, run, histogram);
    platform_arena_free(histogram);
    return true;
}
