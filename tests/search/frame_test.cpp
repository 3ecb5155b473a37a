// The result page frame in process, on hand-filled search outcomes: the page
// window at its edges and in 64 bits, the count lines and suggestions, the
// category summary, the link suffixes and the XML elements of the channel.
#include <gtest/gtest.h>
#include <string.h>

#include <regex>
#include <string>
#include <vector>

#include "index/index_fixture.h"
#include "search/search.h"
#include "support/capture.h"
#include "support/index_files.h"
#include "support/run_program.h"

namespace {

using testsupport::MetaFieldSpec;

class FrameTest : public indextest::IndexFixture {
   protected:
    void SetUp() override {
        IndexFixture::SetUp();
        testsupport::IndexSpec spec;
        spec.categories = {"Hive care", "Honey & wax", "Bee biology"};
        spec.meta_fields = {MetaFieldSpec{1, "author", "Author", "Author", 5, {}, -1},
                            MetaFieldSpec{3, "tags", "Tags", "Tags", 0, {"a", "b"}, -1},
                            MetaFieldSpec{0, "year", "Year", "Year", 0, {}, -1}};
        write(spec);
        snprintf(c.LinkBackURL, sizeof c.LinkBackURL, "/s");
        memset(&run_, 0, sizeof run_);
        selected_ = {-1};
        use_selection();
    }
    void TearDown() override {
        release_search_run(c, run_);
        IndexFixture::TearDown();
    }
    // A fresh context and run, for the next case of a table.
    void reset() {
        TearDown();
        SetUp();
    }
    void use_selection() {
        c.g_selected_cats = selected_.data();
        c.g_selected_cat_count = (int32_t)selected_.size();
    }
    std::string section(int s) const { return c.g_section_texts[s]; }
    // The category summary of these per-category counts.
    void summarize(const std::vector<uint32_t> &counts, uint32_t matches) {
        run_.category_counts = (uint32_t *)malloc(counts.size() * sizeof(uint32_t));
        memcpy(run_.category_counts, counts.data(), counts.size() * sizeof(uint32_t));
        run_.category_counted = true;
        run_.match_count = matches;
        c.DisplayCatSummary = 1;
        write_summary(c, run_);
    }

    SearchRun run_;
    std::vector<int32_t> selected_;
};

// The page-number section as "prev:N", "N" (a link), "[N]" (the current page)
// and "next:N", checking that every link asks for the page its text names.
std::string page_window(const std::string &text) {
    static const std::regex item(
        "<a href=\"[^\"]*&amp;vesk_page=(\\d+)&amp;[^\"]*\">([^<]*)</a> |(\\d+) ");
    std::string out;
    for (std::sregex_iterator it(text.begin(), text.end(), item), end; it != end; ++it) {
        const std::smatch &m = *it;
        std::string entry;
        if (m[3].matched)
            entry = "[" + m[3].str() + "]";
        else if (m[2].str().find("Previous") != std::string::npos)
            entry = "prev:" + m[1].str();
        else if (m[2].str().find("Next") != std::string::npos)
            entry = "next:" + m[1].str();
        else
            entry = m[2].str() == m[1].str() ? m[1].str() : "mismatch:" + m[2].str();
        out += (out.empty() ? "" : " ") + entry;
    }
    return out;
}

std::string numbers(long long from, long long to, long long current) {
    std::string out;
    for (long long n = from; n <= to; n++)
        out += (out.empty() ? "" : " ") +
               (n == current ? "[" + std::to_string(n) + "]" : std::to_string(n));
    return out;
}

TEST_F(FrameTest, PageWindowAtItsEdgesAndInSixtyFourBits) {
    struct Case {
        const char *name;
        uint32_t matches;
        int32_t per_page, page, max_results;
        std::string window;
    };
    const int32_t top = 2147483647;
    const Case cases[] = {
        {"middle", 400, 10, 15, 1000, "prev:14 " + numbers(5, 25, 15) + " next:16"},
        {"near the start", 400, 10, 3, 1000, "prev:2 " + numbers(1, 13, 3) + " next:4"},
        {"first page", 400, 10, 1, 1000, numbers(1, 11, 1) + " next:2"},
        {"last page", 400, 10, 40, 1000, "prev:39 " + numbers(30, 40, 40)},
        {"result limit", 2000, 30, 33, 1000, "prev:32 " + numbers(23, 33, 33)},
        {"page past the last", 25, 10, 5, 1000, "prev:4 " + numbers(1, 3, 0) + " next:6"},
        {"one page", 7, 10, 1, 1000, ""},
        {"highest page", 0xFFFFFFFFu, 1, top, top,
         "prev:" + std::to_string(top - 1) + " " + numbers(top - 10LL, top, top)},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        reset();
        c.VeskInfo = 0;
        run_.match_count = k.matches;
        c.g_per_page = k.per_page;
        c.g_page = k.page;
        c.MaxResultsPerQuery = k.max_results;
        write_page_numbers(c, run_);
        EXPECT_EQ(page_window(section(SECTION_PAGENUMBERS)), k.window);
        EXPECT_EQ(std::string(c.g_result_buffer), "</div>\n");
    }
}

TEST_F(FrameTest, PagesCountAndPoweredByLine) {
    c.VeskInfo = 1;
    run_.match_count = 7;
    write_pages_and_sorting(c, run_);
    write_page_numbers(c, run_);
    EXPECT_EQ(section(SECTION_PAGESCOUNT), "");
    EXPECT_EQ(section(SECTION_PAGENUMBERS).find("<div class=\"result_pages\">"), std::string::npos);
    EXPECT_EQ(section(SECTION_PAGENUMBERS)
                  .rfind("\n<center><p><small>Search powered by sitequery <a ", 0),
              0u);

    reset();
    run_.match_count = 0xFFFFFFFFu;
    c.g_per_page = 1;
    write_pages_and_sorting(c, run_);
    EXPECT_EQ(section(SECTION_PAGESCOUNT),
              "<div class=\"result_pagescount\"><br />4294967295 pages of results.</div>\n");
}

TEST_F(FrameTest, CountLinesAndSuggestions) {
    struct Case {
        const char *name;
        uint32_t words;
        int32_t match_all;
        uint32_t matches, all_terms;
        bool cut_short;
        std::vector<int32_t> categories;
        std::string summary, suggestion;  // suggestion: the link's text, "" for none
    };
    const std::string open = "<div class=\"summary\">\n", close = "<br />\n</div>\n";
    const Case cases[] = {
        {"no match", 1, 0, 0, 0, false, {-1}, open + "No results found." + close, ""},
        {"one word", 1, 0, 1, 1, false, {-1}, open + "1 result found. " + close, ""},
        {"two words, any",
         2,
         0,
         7,
         4,
         false,
         {-1},
         open +
             "4 results found containing all search terms. 3 results found containing some "
             "search terms. " +
             close,
         ""},
        {"two words, all",
         2,
         1,
         2,
         2,
         false,
         {-1},
         open + "2 results found containing all search terms. " + close,
         "any of the terms"},
        {"restricted categories",
         1,
         0,
         2,
         2,
         true,
         {0, 2},
         open + "Your search phrase contains common words.<br /><br />More than 2 results found. " +
             close,
         "all categories"},
        {"enough matches",
         2,
         1,
         3,
         3,
         false,
         {1},
         open +
             "3 results found containing all "
             "search terms. " +
             close,
         ""},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        reset();
        selected_ = k.categories;
        use_selection();
        c.g_query_word_count = k.words;
        c.g_match_all = k.match_all;
        c.g_search_cut_short = k.cut_short;
        run_.match_count = k.matches;
        run_.all_terms_count = k.all_terms;
        write_summary(c, run_);
        EXPECT_EQ(section(SECTION_SUMMARY), k.summary);
        std::string suggestion = section(SECTION_SUGGESTION);
        if (k.suggestion.empty()) {
            EXPECT_EQ(suggestion, "");
        } else {
            EXPECT_NE(suggestion.find("\">" + k.suggestion + "</a>.</div>"), std::string::npos)
                << suggestion;
        }
    }
}

TEST_F(FrameTest, CategorySummaryLeavesOutEmptyAndUniversalCategories) {
    summarize({5, 0, 2}, 5);
    EXPECT_EQ(section(SECTION_CATSUMMARY),
              "<div class=\"cat_summary\"><br />Category summary:<ul><li><a href=\"/s?"
              "vesk_query=&amp;vesk_cat=2&amp;vesk_per_page=10&amp;vesk_xml=0&amp;vesk_and=0"
              "&amp;vesk_sort=0\">Bee biology</a> (2)</li></ul></div>");
    EXPECT_EQ(run_.category_counts, nullptr);

    reset();
    summarize({3, 0, 3}, 3);
    EXPECT_EQ(section(SECTION_CATSUMMARY), "");

    reset();
    c.g_xml_output = 1;
    testsupport::StdoutCapture capture;
    summarize({1, 4, 0}, 6);
    EXPECT_EQ(capture.text(),
              "<opensearch:totalResults>6</opensearch:totalResults>\n"
              "<opensearch:startIndex>1</opensearch:startIndex>\n"
              "<opensearch:itemsPerPage>10</opensearch:itemsPerPage>\n"
              "<vesk:categorySummary>\n<vesk:categoryName>Hive care</vesk:categoryName>\n"
              "<vesk:categoryCount>1</vesk:categoryCount>\n</vesk:categorySummary>\n"
              "<vesk:categorySummary>\n<vesk:categoryName>Honey &amp; wax</vesk:categoryName>\n"
              "<vesk:categoryCount>4</vesk:categoryCount>\n</vesk:categorySummary>\n");
}

TEST_F(FrameTest, OpenSearchStartIndex) {
    struct Case {
        int32_t page, per_page;
        uint32_t matches;
        const char *start;
    };
    const Case cases[] = {{1, 10, 25, "1"},
                          {3, 10, 25, "21"},
                          {5, 10, 0, "1"},
                          {2147483647, 1000, 7, "2147483646001"}};
    for (const Case &k : cases) {
        reset();
        c.g_xml_output = 1;
        c.g_page = k.page;
        c.g_per_page = k.per_page;
        run_.match_count = k.matches;
        testsupport::StdoutCapture capture;
        write_summary(c, run_);
        std::string out = capture.text();
        EXPECT_NE(out.find(std::string("<opensearch:startIndex>") + k.start + "<"),
                  std::string::npos)
            << out;
    }
}

// Request values reach every self-link URL-encoded and whole, however long.
TEST_F(FrameTest, MetaSuffixCarriesEveryValueEncodedAndWhole) {
    std::string author = "Ann \"Bee\" <Smith> & co \xC3\xA9";
    std::string long_value(65535, '"');
    unsigned char tags[4] = {3, 1, 255, 200};
    char year[] = "2021";
    std::vector<char> author_buffer(author.begin(), author.end());
    author_buffer.push_back('\0');
    char *values[3] = {author_buffer.data(), (char *)tags, year};
    c.UseMetaFields = 1;
    c.g_meta_values = values;
    ASSERT_TRUE(build_meta_link_suffix(c));
    EXPECT_STREQ(c.g_meta_link_suffix,
                 "&amp;author=Ann+%22Bee%22+%3CSmith%3E+%26+co+%C3%A9&amp;tags[]=1&amp;tags[]=-1"
                 "&amp;tags[]=200&amp;year=2021");

    std::vector<char> long_buffer(long_value.begin(), long_value.end());
    long_buffer.push_back('\0');
    values[0] = long_buffer.data();
    year[0] = '\0';
    tags[0] = 0;
    ASSERT_TRUE(build_meta_link_suffix(c));
    std::string suffix = c.g_meta_link_suffix;
    EXPECT_EQ(suffix.size(), strlen("&amp;author=") + 3 * long_value.size());
    run_.match_count = 30;
    write_page_numbers(c, run_);
    std::string pages = section(SECTION_PAGENUMBERS);
    EXPECT_NE(pages.find("<a href=\"/s?vesk_query=" + suffix + "&amp;vesk_page=2&amp;"),
              std::string::npos);
    EXPECT_EQ(pages.find('"', pages.find("vesk_query=")), pages.find("\">2</a>"));

    c.UseMetaFields = 0;
    ASSERT_TRUE(build_meta_link_suffix(c));
    EXPECT_STREQ(c.g_meta_link_suffix, "");
}

// The heading lists only categories the settings define, in both forms, and
// the XML one stays well-formed whatever the query holds.
TEST_F(FrameTest, HeadingListsKnownCategoriesOnly) {
    selected_ = {7, 1, -3, 2};
    use_selection();
    snprintf(c.g_query_html, sizeof c.g_query_html, "%s", "bee &#60;b&#62; \xFF");
    ASSERT_TRUE(write_heading(c, run_));
    EXPECT_EQ(section(SECTION_HEADING),
              "<div class=\"searchheading\">Search results for: bee &#60;b&#62; \xFF in category "
              ", \"Honey & wax\", \"Bee biology\"<br /><br /></div>\n");
    EXPECT_STREQ(run_.category_link_suffix, "&amp;vesk_cat%5B%5D=1&amp;vesk_cat%5B%5D=2");

    reset();
    selected_ = {7, 1, -3, 2};
    use_selection();
    c.g_xml_output = 1;
    snprintf(c.Charset, sizeof c.Charset, "UTF-8");
    snprintf(c.g_query_html, sizeof c.g_query_html, "%s", "bee &#60;b&#62; \xFF");
    testsupport::StdoutCapture capture;
    ASSERT_TRUE(write_heading(c, run_));
    std::string out = capture.text();
    EXPECT_EQ(out,
              "<vesk:searchquery>bee &#60;b&#62; \xEF\xBF\xBD</vesk:searchquery>\n"
              "<vesk:searchcategory>Honey &amp; wax</vesk:searchcategory>\n"
              "<vesk:searchcategory>Bee biology</vesk:searchcategory>\n");
    std::string scratch = testsupport::make_temp_dir("frameheading");
    EXPECT_EQ(testsupport::xml_errors(scratch,
                                      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r "
                                      "xmlns:vesk=\"urn:x\">" +
                                          out + "</r>"),
              "");
    testsupport::remove_tree(scratch);
}

TEST_F(FrameTest, SortLinksNameTheCurrentOrderAndReverseIt) {
    struct Case {
        int32_t order;
        std::string text;
    };
    const std::string link =
        "<a href=\"/s?vesk_query=bee&amp;vesk_page=1&amp;vesk_per_page=10"
        "&amp;vesk_and=0&amp;vesk_xml=0&amp;vesk_sort=";
    const Case cases[] = {
        {0, "<b>Sorted by relevance</b> / " + link + "1\">Sort by date</a>"},
        {1, link + "0\">Sort by relevance</a> / " + link + "2\">Sorted by date</a>"},
        {2, link + "0\">Sort by relevance</a> / " + link + "1\">Sorted by date (oldest first)</a>"},
    };
    for (const Case &k : cases) {
        reset();
        snprintf(c.g_query_urlencoded, sizeof c.g_query_urlencoded, "bee");
        c.UseDateTime = 1;
        c.g_sort_order = k.order;
        run_.match_count = 2;
        write_pages_and_sorting(c, run_);
        EXPECT_EQ(section(SECTION_SORTING), "<div class=\"sorting\">" + k.text + "</div>\n");
    }
}

}  // namespace
