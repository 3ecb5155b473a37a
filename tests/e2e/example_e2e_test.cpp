// The example index under examples/site: the committed files are exactly what
// the writer makes of its description, and the README's sample search answers
// with real results, an RSS feed and autocomplete items.
#include <gtest/gtest.h>

#include <ctype.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/example_index.h"
#include "support/run_program.h"

namespace {

const std::string kExampleDir = std::string(SITEQUERY_SOURCE_DIR) + "/examples/site";

TEST(ExampleIndex, CommittedFilesAreWhatTheGeneratorWrites) {
    const testsupport::IndexFiles files = testsupport::build_index(testsupport::example_index());
    for (const auto &file : files.files)
        EXPECT_TRUE(testsupport::read_file(kExampleDir + "/" + file.first) == file.second)
            << file.first << " differs: run make_example examples/site";
}

// The item links of an RSS answer, in order.
std::vector<std::string> feed_links(const std::string &feed) {
    std::vector<std::string> links;
    for (size_t at = feed.find("<item>"); at != std::string::npos;
         at = feed.find("<item>", at + 1)) {
        const size_t open = feed.find("<link>", at) + 6;
        links.push_back(feed.substr(open, feed.find("</link>", open) - open));
    }
    return links;
}

// Searches one word of the example site through the real binary; the links found.
std::vector<std::string> found_pages(const std::string &word) {
    const testsupport::CgiResponse response =
        testsupport::run_clean_get(kExampleDir, "vesk_xml=1&vesk_per_page=50&vesk_query=" + word);
    return feed_links(response.out);
}

// Stemming is on in the example's settings, so its dictionary holds stems:
// every word of a page title (but the common words, which are not searched)
// finds that page, in whatever form the title spells it.
TEST(ExampleIndex, EveryTitleWordFindsItsPage) {
    const testsupport::IndexSpec spec = testsupport::example_index();
    size_t searched = 0;
    for (const testsupport::PageSpec &page : spec.pages)
        for (const std::string &word : testsupport::split_words(page.title)) {
            std::string lower;
            for (char ch : word) lower += (char)tolower((unsigned char)ch);
            if (!isalnum((unsigned char)word[0]) || spec.common_words.count(lower) != 0) continue;
            const std::vector<std::string> links = found_pages(word);
            EXPECT_NE(std::find(links.begin(), links.end(), page.url), links.end())
                << "\"" << word << "\" does not find " << page.url;
            searched++;
        }
    EXPECT_GE(searched, 30u);
}

// Words of the page texts in another form than the stem, and how many pages hold them.
TEST(ExampleIndex, InflectedWordsFindEveryPageThatHoldsThem) {
    const struct {
        const char *word;
        size_t pages;
    } cases[] = {{"candles", 1}, {"candle", 1}, {"colony", 5}, {"colonies", 5},
                 {"stores", 3},  {"twenty", 2}, {"bees", 7},   {"bee", 7}};
    for (const auto &c : cases) EXPECT_EQ(found_pages(c.word).size(), c.pages) << c.word;
}

// The program writes the arrows around the texts of the page links.
TEST(ExampleIndex, PageLinksShowOneArrowEach) {
    const std::string page =
        testsupport::run_clean_get(kExampleDir, "vesk_query=honey&vesk_per_page=2&vesk_page=2").out;
    EXPECT_NE(page.find(">&lt;&lt; Previous</a>"), std::string::npos) << page;
    EXPECT_NE(page.find(">Next &gt;&gt;</a>"), std::string::npos) << page;
    EXPECT_EQ(page.find("&lt;&lt; &lt;&lt;"), std::string::npos);
    EXPECT_EQ(page.find("&gt;&gt; &gt;&gt;"), std::string::npos);
}

TEST(ExampleIndex, SampleSearchShowsResults) {
    const testsupport::CgiResponse response =
        testsupport::run_clean_get(kExampleDir, "vesk_query=honey");
    EXPECT_EQ(response.out.find("Content-type: text/html; charset=utf-8\n\n<!DOCTYPE html>"), 0u);
    EXPECT_NE(response.out.find("</html>\n"), std::string::npos);
    for (const char *word : {"Unable", "Error", "Can not find", "Pageinfo"})
        EXPECT_EQ(response.out.find(word), std::string::npos) << word;
    // Several pages hold the word: their blocks, in the results wrapper.
    const std::string &page = response.out;
    EXPECT_NE(page.find("found. <br />"), std::string::npos);
    size_t blocks = 0;
    for (size_t at = page.find("<div class=\"result_title\">"); at != std::string::npos;
         at = page.find("<div class=\"result_title\">", at + 1))
        blocks++;
    EXPECT_GE(blocks, 3u);
    EXPECT_NE(page.find(">Extracting <span class=\"highlight\">honey</span></a>"),
              std::string::npos);
    EXPECT_LT(page.find("<div class=\"results\">"), page.find("<div class=\"result_block\">"));
    EXPECT_NE(page.find("var VeskAutoComplete_URL"), std::string::npos);
}

// Whole answers of the example site: its empty page, a results page, a page
// with a spelling suggestion and no results, and the RSS answer that names
// the feed's style sheet.
TEST(ExampleIndex, AnswersAreAsExpected) {
    const struct {
        const char *golden, *query;
    } cases[] = {{"example_empty.out", ""},
                 {"example_results.out", "vesk_query=honey"},
                 {"example_no_results.out", "vesk_query=candels"},
                 {"example_feed.out", "vesk_query=honey&vesk_xml=1"}};
    for (const auto &c : cases)
        EXPECT_EQ(testsupport::compare_golden(c.golden,
                                              testsupport::run_clean_get(kExampleDir, c.query).out),
                  "")
            << c.golden;
}

TEST(ExampleIndex, SampleFeedAndAutocomplete) {
    testsupport::CgiResponse feed =
        testsupport::run_cgi(testsupport::get_request(kExampleDir, "vesk_query=honey&vesk_xml=1"));
    EXPECT_EQ(feed.err, "");
    EXPECT_NE(feed.out.find("<item>\n<title>"), std::string::npos);
    EXPECT_NE(feed.out.find("</channel>\n</rss>"), std::string::npos);
    testsupport::CgiResponse suggestions =
        testsupport::run_cgi(testsupport::get_request(kExampleDir, "vesk_ac=1&vesk_query=hon"));
    EXPECT_EQ(suggestions.err, "");
    EXPECT_NE(suggestions.out.find(">honey extractor</a></div>"), std::string::npos);
}

}  // namespace
