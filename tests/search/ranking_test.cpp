// Ranking: final weights, the result sort against a plain reference of the
// same scheme, and the picks of domain diversity on the first page.
#include <random>

#include "search/search_fixture.h"

namespace searchtest {
namespace {

TEST(FinalScore, WeightsByZonesAndHits) {
    SearchContext &c = g_search_context;
    const struct {
        int proximity;
        uint32_t score;
        uint8_t zones;
        uint32_t hits, expected;
    } cases[] = {
        {0, 100, 0, 3, 169},  // 1.3 squared is 1.6899998 in single precision
        {0, 7, 0, 1, 9},
        {0, 10, 255, 1, 30},       // base 3.0
        {0, 10, 255, 12, 590510},  // 3^10 + 2: above 10 hits the count adds linearly
        {0, 10, 255, 11, 590500},
        {0, 0, 255, 5, 0},
        {5, 10, 255, 1, 35},                     // W 2.2: base 3.5
        {0, 0xFFFFFFFFu, 255, 12, 0xFFFFFFFFu},  // past the top: the largest value
    };
    for (const auto &k : cases) {
        c.WeightProximity = k.proximity;
        EXPECT_EQ(final_score(c, k.score, k.zones, k.hits), k.expected) << k.score << " " << k.hits;
    }
    c.WeightProximity = 0;
}

TEST(FloatToU32, ClampsBeforeConverting) {
    const struct {
        float value;
        uint32_t expected;
    } cases[] = {{NAN, 0},
                 {-5.0f, 0},
                 {0.5f, 0},
                 {12.99f, 12},
                 {4294967296.0f, 0xFFFFFFFFu},
                 {INFINITY, 0xFFFFFFFFu},
                 {4294967040.0f, 4294967040u}};
    for (const auto &k : cases) EXPECT_EQ(float_to_u32(k.value), k.expected) << k.value;
}

// A plain recursive reading of the sort's scheme, for comparison.
struct Reference {
    std::vector<SearchResult> &a;
    int cmp(size_t i, size_t j) const {
        return compare_results_by_score(g_search_context, a[i], a[j]);
    }
    int cmp_value(const SearchResult &x, const SearchResult &y) const {
        return compare_results_by_score(g_search_context, x, y);
    }

    void sort(long lo, long hi) {
        if (hi - lo < 6) {
            for (long i = lo + 1; i <= hi; i++)
                for (long j = i; j > lo && cmp(j - 1, j) > 0; j--) std::swap(a[j - 1], a[j]);
            return;
        }
        const long mid = (lo + hi) / 2;
        const SearchResult l = a[mid - 1], m = a[mid], r = a[mid + 1];
        const int c1 = cmp_value(l, m), c2 = cmp_value(m, r);
        const int c3 = (c1 < 0 && c2 > 0) || (c1 > 0 && c2 < 0) ? cmp_value(l, r) : 0;
        // Row of the arrangement table: new order and pivot block offsets.
        SearchResult o0 = l, o1 = m, o2 = r;
        long b0 = 0, b1 = 0;
        if (c1 < 0 && c2 == 0) b1 = 1;
        if (c1 < 0 && c2 > 0 && c3 < 0) o1 = r, o2 = m;
        if (c1 < 0 && c2 > 0 && c3 == 0) o1 = r, o2 = m, b0 = -1;
        if (c1 < 0 && c2 > 0 && c3 > 0) o0 = r, o1 = l, o2 = m;
        if (c1 == 0 && c2 < 0) b0 = -1;
        if (c1 == 0 && c2 == 0) b0 = -1, b1 = 1;
        if (c1 == 0 && c2 > 0) o0 = r, o2 = l, b1 = 1;
        if (c1 > 0 && c2 == 0) o0 = r, o2 = l, b0 = -1;
        if (c1 > 0 && c2 > 0) o0 = r, o2 = l;
        if (c1 > 0 && c2 < 0 && c3 < 0) o0 = m, o1 = l;
        if (c1 > 0 && c2 < 0 && c3 == 0) o0 = m, o1 = l, b1 = 1;
        if (c1 > 0 && c2 < 0 && c3 > 0) o0 = m, o1 = r, o2 = l;
        a[mid - 1] = o0, a[mid] = o1, a[mid + 1] = o2;
        long first = mid + b0, last = mid + b1, i = mid - 2, j = mid + 2;
        for (;;) {
            while (i >= lo && cmp(i, first) <= 0) {
                if (cmp(i, first) == 0) {
                    first--;
                    if (first != i) std::swap(a[i], a[first]);
                }
                i--;
            }
            while (j <= hi && cmp(last, j) <= 0) {
                if (cmp(last, j) == 0) {
                    last++;
                    if (last != j) std::swap(a[j], a[last]);
                }
                j++;
            }
            const bool left = i >= lo, right = j <= hi;
            if (left && right) {
                std::swap(a[i--], a[j++]);
            } else if (left) {
                const SearchResult x = a[i];
                first--;
                if (first != i) a[i] = a[first];
                a[first] = a[last];
                a[last--] = x;
                i--;
            } else if (right) {
                const SearchResult y = a[j];
                last++;
                if (last == j) {
                    a[j] = a[first];
                } else {
                    a[j] = a[last];
                    a[last] = a[first];
                }
                a[first++] = y;
                j++;
            } else {
                break;
            }
        }
        sort(lo, first - 1);
        sort(last + 1, hi);
    }
};

TEST(SortResults, AgreesWithTheReferenceOnRandomInputs) {
    std::mt19937 random(20261209);
    for (int round = 0; round < 400; round++) {
        const uint32_t count = random() % 200;
        const uint32_t spread = 1 + random() % 12;  // few values: many ties
        std::vector<SearchResult> records(count);
        for (uint32_t i = 0; i < count; i++) {
            records[i] = SearchResult{};
            records[i].page = i;
            records[i].final_score = random() % spread;
        }
        std::vector<SearchResult> expected = records;
        if (count > 1) Reference{expected}.sort(0, (long)count - 1);
        sort_results(records.data(), count, compare_results_by_score, g_search_context);
        for (uint32_t i = 0; i < count; i++) {
            ASSERT_EQ(records[i].page, expected[i].page) << round << " at " << i;
            if (i > 0) {
                ASSERT_GE(records[i - 1].final_score, records[i].final_score);
            }
        }
    }
}

class DiversityTest : public SearchFixture {};

// Scores fall with the page number, so the sorted order is the page order.
IndexSpec hosts_index(const std::vector<std::string> &urls) {
    IndexSpec spec;
    for (size_t k = 0; k < urls.size(); k++) {
        PageSpec page = page_of(urls[k], "bee");
        page.postings["bee"] = PostingSpec{(uint8_t)(200 - k), 1};
        spec.pages.push_back(page);
    }
    spec.settings.set("UseDomainDiversity", 1).set("MaxDomainDiversity", 9);
    return spec;
}

TEST_F(DiversityTest, PicksComeFirstOnPageOne) {
    std::vector<std::string> urls;
    for (int k = 0; k < 10; k++) urls.push_back("http://a/" + std::to_string(k));
    urls.push_back("HTTP://A/x");  // hosts compare without case
    urls.push_back("https://b/x");
    urls.push_back("no-host");
    urls.push_back("other");  // the empty host was picked already
    write(hosts_index(urls));
    const struct {
        const char *params;
        std::vector<uint32_t> shown;
        int picked;
    } cases[] = {
        {"", {0, 11, 12, 1, 2, 3, 4, 5, 6, 7}, 3},
        {"&vesk_page=2", {10, 11, 12, 13}, 0},  // later pages start at position 10
        {"&vesk_per_page=2", {0, 11}, 3},
    };
    for (const auto &k : cases) {
        ASSERT_TRUE(search(std::string("vesk_query=bee") + k.params)) << out_;
        EXPECT_EQ(shown(), k.shown) << k.params;
        EXPECT_EQ(c.g_picked_count, k.picked) << k.params;
        EXPECT_EQ(c.MaxDomainDiversity, k.picked ? 3 : c.MaxDomainDiversity);
    }
}

TEST_F(DiversityTest, FiveMatchesOrFewerPickNothing) {
    write(hosts_index({"http://a/1", "http://a/2", "http://a/3", "http://a/4", "http://b/5"}));
    ASSERT_TRUE(search("vesk_query=bee"));
    EXPECT_EQ(c.UseDomainDiversity, 0);
    EXPECT_EQ(shown(), (std::vector<uint32_t>{0, 1, 2, 3, 4}));
}

}  // namespace
}  // namespace searchtest
