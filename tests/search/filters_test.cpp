// Page filters and the result cut-off: meta fields with every type and
// operator, categories and their counts, the date range in both forms, and
// the cut-off around its threshold.
#include <time.h>

#include "search/search_fixture.h"

namespace searchtest {
namespace {

class FiltersTest : public SearchFixture {};

// Four pages with the word "bee" and meta values of every type.
IndexSpec meta_index() {
    IndexSpec spec;
    spec.meta_fields = {
        MetaFieldSpec{0, "year", "Year", "Year", 1, {}, -1},        // <
        MetaFieldSpec{0, "since", "Since", "Since", 4, {}, -1},     // >=
        MetaFieldSpec{1, "author", "Author", "Author", 5, {}, -1},  // contains
        MetaFieldSpec{1, "isbn", "ISBN", "ISBN", 0, {}, -1},        // equal
        MetaFieldSpec{2, "season", "Season", "Season", 0, {"spring", "summer"}, -1},
        MetaFieldSpec{3, "tags", "Tags", "Tags", 0, {"a", "b", "c"}, -1},
        MetaFieldSpec{4, "price", "Price", "Price", 2, {}, -1},  // <=
    };
    const struct {
        uint32_t year;
        const char *author, *isbn;
        int season;
        std::vector<int> tags;
        uint32_t price;
    } values[] = {
        {2001, "Ann Smith", "X-1", 0, {0, 2}, 1250},
        {2010, "Bob Smithers", "X-2", 1, {1}, 999},
        {1999, "Cy", "x-1", 1, {}, 5000},
    };
    for (const auto &v : values) {
        PageSpec page = page_of("http://site/p", "bee");
        page.meta = {MetaValueSpec::of_number(v.year),   MetaValueSpec::of_number(v.year),
                     MetaValueSpec::of_text(v.author),   MetaValueSpec::of_text(v.isbn),
                     MetaValueSpec::of_option(v.season), MetaValueSpec::of_options(v.tags),
                     MetaValueSpec::of_number(v.price)};
        spec.pages.push_back(page);
    }
    PageSpec none = page_of("http://site/none", "bee");  // no values at all
    none.meta.assign(7, MetaValueSpec::none());
    spec.pages.push_back(none);
    return spec;
}

TEST_F(FiltersTest, MetaFieldsOfEveryTypeAndOperator) {
    IndexSpec spec = meta_index();
    spec.settings.set("MetaMoneyShowDec", 0).set("ToLowerSearchWords", 1);
    write(spec);
    const struct {
        const char *params;
        std::vector<uint32_t> pages;
    } cases[] = {
        {"", {0, 1, 2, 3}},
        {"&year=2005", {0, 2}},
        {"&year=abc", {}},  // unreadable: 0
        {"&since=2001", {0, 1}},
        {"&since=-5", {}},  // wraps to a large number, as "%u" does
        {"&author=smith", {0, 1}},
        {"&author=SMITHERS", {1}},
        {"&author=Ann+Smith+Jones", {}},  // longer than the page's text
        {"&isbn=X-1", {0, 2}},            // equal, ignoring case as the search does
        {"&isbn=X-", {}},
        {"&season=1", {1, 2}},
        {"&season=-1", {0, 1, 2, 3}},  // any season: not tested
        {"&season=zz", {0}},           // unreadable: option 0
        {"&tags[]=2", {0}},
        {"&tags[]=1&tags[]=2", {0, 1}},
        {"&price=1250", {0, 1}},
        {"&year=2005&season=1", {2}},
    };
    for (const auto &k : cases) {
        ASSERT_TRUE(search(std::string("vesk_sort=1&vesk_query=bee") + k.params)) << out_;
        EXPECT_EQ(scored_pages(), k.pages) << k.params;
    }
}

TEST_F(FiltersTest, MoneyWithDecimalsAndMetaOnlySearches) {
    IndexSpec spec = meta_index();
    spec.settings.set("MetaMoneyShowDec", 1);
    write(spec);
    const struct {
        const char *query;
        std::vector<uint32_t> pages;
    } cases[] = {
        {"vesk_query=bee&price=12.5", {0, 1}},  // 12.5 compares as 1250
        {"vesk_query=bee&price=12.49", {1}},
        {"vesk_query=bee&price=nan", {}},  // no number: 0
        {"vesk_query=&season=1", {1, 2}},  // every page is a candidate
    };
    for (const auto &k : cases) {
        ASSERT_TRUE(search(std::string("vesk_sort=1&") + k.query)) << out_;
        EXPECT_EQ(scored_pages(), k.pages) << k.query;
    }
    // A meta-only search counts the fields passed as score and hits.
    ASSERT_TRUE(search("vesk_query=&since=2005"));
    EXPECT_EQ(ranked().size(), 1u);
    EXPECT_EQ(run_.page_scores[1].hits, 7u);
}

// Pages in categories 0, 1, 0+2 and none.
IndexSpec category_index() {
    IndexSpec spec;
    spec.categories = {"zero", "one", "two"};
    const std::vector<std::vector<int>> cats = {{0}, {1}, {0, 2}, {}};
    for (const auto &c : cats) {
        PageSpec page = page_of("http://site/p", "bee");
        page.categories = c;
        spec.pages.push_back(page);
    }
    spec.settings.set("DisplayCatSummary", 1);
    return spec;
}

TEST_F(FiltersTest, CategoriesFilterAndCount) {
    write(category_index());
    const struct {
        const char *params;
        std::vector<uint32_t> pages;
        std::vector<uint32_t> counts;  // empty: no summary counts
    } cases[] = {
        {"&vesk_cat=-1", {0, 1, 2, 3}, {2, 1, 1}},  // all: counted by the ranking
        {"&vesk_cat=0", {0, 2}, {}},                // one category: no summary
        {"&vesk_cat[]=1&vesk_cat[]=2", {1, 2}, {0, 1, 1}},
        {"&vesk_cat[]=2&vesk_cat[]=-3", {2}, {0, 0, 1}},  // -3 is no category: never counted
    };
    for (const auto &k : cases) {
        ASSERT_TRUE(search(std::string("vesk_sort=1&vesk_query=bee") + k.params)) << out_;
        EXPECT_EQ(scored_pages(), k.pages) << k.params;
        std::vector<uint32_t> counts;
        if (run_.category_counts != nullptr && run_.category_counted)
            counts.assign(run_.category_counts, run_.category_counts + 3);
        EXPECT_EQ(counts, k.counts) << k.params;
    }
}

// Pages dated on and around 1 February and 2 January 2024, UTC.
TEST_F(FiltersTest, DateRangeFromBothRequestForms) {
    setenv("TZ", "UTC", 1);
    tzset();
    const uint32_t feb1 = 1706745600, jan2 = 1704153600, day = 86400;
    IndexSpec spec;
    for (uint32_t date : {feb1, feb1 + day - 1, feb1 + day, jan2, feb1 - 1}) {
        PageSpec page = page_of("http://site/p", "bee");
        page.date = date;
        spec.pages.push_back(page);
    }
    spec.settings.set("DateRangeSearch", 1);
    const struct {
        int format;
        const char *params;
        std::vector<uint32_t> pages;
        const char *suffix;
    } cases[] = {
        {0,
         "&vesk_datefrom=1/2/2024&vesk_dateto=1/2/2024",
         {0, 1},
         "&amp;vesk_datefrom=1%2F2%2F2024&amp;vesk_dateto=1%2F2%2F2024"},
        {1, "&vesk_datefrom=1/2/2024&vesk_dateto=1/2/2024", {3}, nullptr},
        {0, "&vesk_datefrom=2024&vesk_dateto=1/2/2024", {0, 1, 2, 3, 4}, ""},
        {0, "&vesk_datefrom=2/2/2024&vesk_dateto=1/2/2024", {}, nullptr},  // from after to
        {0, "&vesk_datefrom=0/2/2024&vesk_dateto=1/2/2024", {0, 1, 2, 3, 4}, ""},
        {0,
         "&vesk_ltimefrom=1704153600&vesk_ltimeto=1706745600&vesk_datefrom=1/1/2000",
         {0, 3, 4},
         ""},
        {0, "&vesk_ltimefrom=-1&vesk_ltimeto=1706745600", {}, ""},
    };
    for (const auto &k : cases) {
        spec.settings.set("DateRangeFormat", k.format);
        write(spec);
        ASSERT_TRUE(search(std::string("vesk_query=bee") + k.params)) << out_;
        EXPECT_EQ(scored_pages(), k.pages) << k.params;
        if (k.suffix != nullptr) {
            EXPECT_STREQ(c.g_date_link_suffix, k.suffix) << k.params;
        }
    }
    unsetenv("TZ");
    tzset();
}

TEST(RankBucket, WidthAndLastBucket) {
    SearchContext &c = g_search_context;
    SearchRun run{};
    const struct {
        uint32_t min, width, value, bucket;
    } cases[] = {
        {0, 1, 1200, 1200}, {100, 1, 150, 50},   {0, 5, 12, 3},
        {0, 5, 10, 2},      {0, 1, 20000, 9999}, {7, 3, 7, 0},
    };
    for (const auto &k : cases) {
        c.g_rank_min = k.min;
        run.rank_width = k.width;
        EXPECT_EQ(rank_bucket(c, run, k.value), k.bucket) << k.value;
    }
    c.g_rank_min = 0;
}

// The pages the cut-off keeps: only whole buckets it took, never a page
// whose value lies on the threshold in the first bucket not taken.
TEST_F(FiltersTest, CutOffKeepsTheTakenBucketsOnly) {
    IndexSpec spec;
    const struct {
        uint8_t score;
        uint32_t date;
    } pages[] = {{20, 1202}, {19, 1200}, {30, 1201}, {5, 1199}};
    for (const auto &p : pages) {
        PageSpec page = page_of("http://site/p", "bee");
        page.postings["bee"] = PostingSpec{p.score, 255};
        page.date = p.date;
        spec.pages.push_back(page);
    }
    const struct {
        int sort, max_results;
        std::vector<uint32_t> ranked;
        uint32_t threshold, capacity;
    } cases[] = {
        {0, 2, {2, 0}, 19, 2},    // page 1 (19) lies on the threshold: not taken
        {2, 2, {3, 1}, 1201, 2},  // page 2 (1201) lies on it: not taken
        {1, 2, {0, 2}, 1200, 2},
        {0, 10, {2, 0, 1, 3}, 0, 4},  // fewer matches: threshold g_rank_min
        {2, 10, {3, 1, 2, 0}, 0, 4},
        {1, 10, {0, 2, 1, 3}, 1199, 4},
    };
    spec.settings.set("UseDateTime", 1);
    for (const auto &k : cases) {
        spec.settings.set("MaxResultsPerQuery", k.max_results);
        write(spec);
        ASSERT_TRUE(search("vesk_query=bee&vesk_sort=" + std::to_string(k.sort))) << out_;
        std::vector<uint32_t> order;
        for (const auto &r : ranked()) order.push_back(r.first);
        EXPECT_EQ(order, k.ranked) << k.sort << " " << k.max_results;
        EXPECT_EQ(c.g_rank_threshold, k.threshold) << k.sort << " " << k.max_results;
        EXPECT_EQ(c.g_result_capacity, k.capacity) << k.sort << " " << k.max_results;
    }
    // Every kept page in one bucket: the capacity is the whole bucket.
    for (auto &page : spec.pages) page.postings["bee"] = PostingSpec{40, 255};
    spec.settings.set("MaxResultsPerQuery", 1);
    write(spec);
    ASSERT_TRUE(search("vesk_query=bee"));
    EXPECT_EQ(c.g_result_capacity, 4u);
    EXPECT_EQ(ranked().size(), 4u);
}

}  // namespace
}  // namespace searchtest
