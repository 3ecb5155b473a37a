// The sort of the result list: the program's own quicksort and its three
// orders. Equal records end in the order this scheme leaves them, and that
// order is visible on the result page, so no library sort may replace it.
#include "search/search.h"

namespace {
constexpr int64_t kInsertionSpan = 6;  // spans of at most this many records: insertion sort

// A pending span of the sort, bounds inclusive.
struct SortSpan {
    int64_t lo, hi;
};

int32_t result_date(const SearchContext &c, const SearchResult &r) {
    return (int32_t)page_info_date(page_record(r.page), c.UseBigPageInfoData);
}

void swap_records(SearchResult *a, int64_t i, int64_t j) {
    SearchResult t = a[i];
    a[i] = a[j];
    a[j] = t;
}

// Each record from lo + 1 moves left past every record that goes strictly
// after it; equal records keep their order.
void insertion_sort(SearchResult *a, int64_t lo, int64_t hi, ResultComparator compare,
                    const SearchContext &c) {
    for (int64_t i = lo + 1; i <= hi; i++) {
        const SearchResult moving = a[i];
        int64_t j = i;
        while (j > lo && compare(c, a[j - 1], moving) > 0) {
            a[j] = a[j - 1];
            j--;
        }
        a[j] = moving;
    }
}

// Orders the records at mid - 1, mid and mid + 1 and returns the block of
// records equal to the pivot (the record left at mid) in *first .. *last.
void median_of_three(SearchResult *a, int64_t mid, ResultComparator compare, const SearchContext &c,
                     int64_t *first, int64_t *last) {
    const SearchResult l = a[mid - 1], m = a[mid], r = a[mid + 1];
    const int c1 = compare(c, l, m), c2 = compare(c, m, r);
    const SearchResult *order[3] = {&l, &m, &r};
    int64_t block_lo = mid, block_hi = mid;
    if (c1 < 0) {
        if (c2 == 0) block_hi = mid + 1;
        if (c2 > 0) {
            const int c3 = compare(c, l, r);
            if (c3 <= 0) order[1] = &r, order[2] = &m;
            if (c3 == 0) block_lo = mid - 1;
            if (c3 > 0) order[0] = &r, order[1] = &l, order[2] = &m;
        }
    } else if (c1 == 0) {
        if (c2 <= 0) block_lo = mid - 1;
        if (c2 == 0) block_hi = mid + 1;
        if (c2 > 0) order[0] = &r, order[2] = &l, block_hi = mid + 1;
    } else if (c2 >= 0) {
        order[0] = &r, order[2] = &l;
        if (c2 == 0) block_lo = mid - 1;
    } else {
        const int c3 = compare(c, l, r);
        order[0] = &m;
        order[1] = c3 > 0 ? &r : &l;
        order[2] = c3 > 0 ? &l : &r;
        if (c3 == 0) block_hi = mid + 1;
    }
    a[mid - 1] = *order[0];
    a[mid] = *order[1];
    a[mid + 1] = *order[2];
    *first = block_lo;
    *last = block_hi;
}

// Partitions lo..hi around the pivot block *first..*last (set up by
// median_of_three); on return the block holds every record equal to the pivot.
void partition(SearchResult *a, int64_t lo, int64_t hi, ResultComparator compare,
               const SearchContext &c, int64_t *first_out, int64_t *last_out) {
    const int64_t mid = (lo + hi) / 2;
    int64_t first = *first_out, last = *last_out;
    int64_t left = mid - 2, right = mid + 2;
    for (;;) {
        bool left_stopped = false, right_stopped = false;
        while (left >= lo) {
            const int order = compare(c, a[left], a[first]);
            if (order > 0) {
                left_stopped = true;
                break;
            }
            if (order == 0 && --first != left) swap_records(a, left, first);
            left--;
        }
        while (right <= hi) {
            const int order = compare(c, a[last], a[right]);
            if (order > 0) {
                right_stopped = true;
                break;
            }
            if (order == 0 && ++last != right) swap_records(a, right, last);
            right++;
        }
        if (left_stopped && right_stopped) {
            swap_records(a, left--, right++);
        } else if (left_stopped) {
            // The stopped record goes behind the block, which moves down by one.
            const SearchResult stopped = a[left];
            first--;
            if (first != left) a[left] = a[first];
            a[first] = a[last];
            a[last--] = stopped;
            left--;
        } else if (right_stopped) {
            // The stopped record goes before the block, which moves up by one.
            const SearchResult stopped = a[right];
            last++;
            if (last == right) {
                a[right] = a[first];
            } else {
                a[right] = a[last];
                a[last] = a[first];
            }
            a[first++] = stopped;
            right++;
        } else {
            break;
        }
    }
    *first_out = first;
    *last_out = last;
}
}  // namespace

int compare_results_by_score(const SearchContext &, const SearchResult &a, const SearchResult &b) {
    if (a.final_score > b.final_score) return -1;
    return a.final_score < b.final_score ? 1 : 0;
}

int compare_results_by_date_desc(const SearchContext &c, const SearchResult &a,
                                 const SearchResult &b) {
    const int32_t da = result_date(c, a), db = result_date(c, b);
    if (da != db) return da > db ? -1 : 1;
    return compare_results_by_score(c, a, b);
}

int compare_results_by_date_asc(const SearchContext &c, const SearchResult &a,
                                const SearchResult &b) {
    const int32_t da = result_date(c, a), db = result_date(c, b);
    if (da != db) return da < db ? -1 : 1;
    return compare_results_by_score(c, a, b);
}

void sort_results(SearchResult *records, uint32_t count, ResultComparator compare,
                  const SearchContext &c) {
    if (count < 2) return;
    SortSpan stack[kSortStackSpans];
    int depth = 0;
    SortSpan span{0, (int64_t)count - 1};
    for (;;) {
        if (span.hi - span.lo < kInsertionSpan) {
            insertion_sort(records, span.lo, span.hi, compare, c);
            if (depth == 0) return;
            span = stack[--depth];
            continue;
        }
        int64_t first, last;
        median_of_three(records, (span.lo + span.hi) / 2, compare, c, &first, &last);
        partition(records, span.lo, span.hi, compare, c, &first, &last);
        const SortSpan left{span.lo, first - 1}, right{last + 1, span.hi};
        const int64_t left_size = first - span.lo, right_size = span.hi - last;
        if (left_size > 0 && right_size > 0) {
            // The smaller span first keeps the stack below 32 spans for any count.
            const bool push_left = left_size >= right_size;
            if (depth == kSortStackSpans) {
                insertion_sort(records, push_left ? left.lo : right.lo,
                               push_left ? left.hi : right.hi, compare, c);
            } else {
                stack[depth++] = push_left ? left : right;
            }
            span = push_left ? right : left;
        } else if (left_size > 0) {
            span = left;
        } else if (right_size > 0) {
            span = right;
        } else {
            if (depth == 0) return;
            span = stack[--depth];
        }
    }
}
