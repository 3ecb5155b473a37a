// The example site: the index under examples/site is exactly what
// sitequery-index writes from the pages of examples/pages with
// examples/sitequery-index.conf, and the README's sample search answers with
// real results, an RSS feed and autocomplete items.
#include <gtest/gtest.h>

#include <ctype.h>
#include <dirent.h>

#include <algorithm>
#include <string>
#include <vector>

#include "indexer/indexer_fixture.h"
#include "support/index_files.h"
#include "support/run_program.h"

namespace {

const std::string kSourceDir = SITEQUERY_SOURCE_DIR;
const std::string kExampleDir = kSourceDir + "/examples/site";
const std::string kPagesDir = kSourceDir + "/examples/pages";
const std::string kConfig = kSourceDir + "/examples/sitequery-index.conf";
const char kRegenerate[] =
    "rm -rf examples/site && build/release/sitequery-index --config "
    "examples/sitequery-index.conf examples/pages examples/site";

// The names in dir (but "." and ".."), in byte order.
std::vector<std::string> names_in(const std::string &dir) {
    std::vector<std::string> names;
    DIR *folder = opendir(dir.c_str());
    if (folder == nullptr) return names;
    while (const dirent *entry = readdir(folder))
        if (entry->d_name[0] != '.') names.push_back(entry->d_name);
    closedir(folder);
    std::sort(names.begin(), names.end());
    return names;
}

// The text between open and close in text ("" when not there).
std::string between(const std::string &text, const std::string &open, const std::string &close) {
    const size_t start = text.find(open);
    if (start == std::string::npos) return "";
    const size_t end = text.find(close, start + open.size());
    return end == std::string::npos ? ""
                                    : text.substr(start + open.size(), end - start - open.size());
}

// One example page: its link (the config's base URL and its file name) and title.
struct ExamplePage {
    std::string url, title;
};

std::vector<ExamplePage> example_pages() {
    const std::string base_url = between(testsupport::read_file(kConfig), "base_url = ", "\n");
    std::vector<ExamplePage> pages;
    for (const std::string &name : names_in(kPagesDir))
        pages.push_back({base_url + name, between(testsupport::read_file(kPagesDir + "/" + name),
                                                  "<title>", "</title>")});
    return pages;
}

using ExampleSources = indexer_test::SiteTest;

// The indexer run on the example's sources writes the committed files, no
// more and no fewer, byte for byte (the template files are the built-in ones,
// made from examples/template).
TEST_F(ExampleSources, CommittedIndexIsWhatTheIndexerWrites) {
    const std::string index = root_ + "/index";
    const testsupport::CgiResponse run =
        run_indexer({"--quiet", "--config", kConfig, kPagesDir, index});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const std::vector<std::string> names = names_in(index);
    EXPECT_EQ(names, names_in(kExampleDir)) << "regenerate examples/site: " << kRegenerate;
    for (const std::string &name : names)
        EXPECT_TRUE(testsupport::read_file(index + "/" + name) ==
                    testsupport::read_file(kExampleDir + "/" + name))
            << "examples/site/" << name << " differs; regenerate it: " << kRegenerate;
}

// The README's first command ends in examples/run-sample.sh: it indexes the
// pages with the built indexer into build/<preset>/example-site and answers
// the sample search there, as the committed index does.
TEST_F(ExampleSources, SampleScriptIndexesThePagesAndSearches) {
#ifdef SITEQUERY_EMULATOR
    GTEST_SKIP() << "the script runs the programs without the emulator";
#endif
    const std::string binary = SITEQUERY_BINARY, build = kSourceDir + "/build/";
    const size_t slash = binary.rfind('/');
    if (binary.compare(0, build.size(), build) != 0 || slash < build.size())
        GTEST_SKIP() << "the build is not a preset's folder under build/";
    const std::string preset = binary.substr(build.size(), slash - build.size());
    testsupport::CgiRequest request;
    request.program = "/bin/sh";
    request.method = request.remote_addr = request.script_name = "";
    request.extra_env["PATH"] = "/usr/bin:/bin";
    request.args = {kSourceDir + "/examples/run-sample.sh", "vesk_query=honey", preset};
    request.timeout_seconds = 240;
    const testsupport::CgiResponse run = testsupport::run_cgi(request);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, testsupport::run_clean_get(kExampleDir, "vesk_query=honey").out);
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
// every word of a page title finds that page, in whatever form the title
// spells it.
TEST(ExampleIndex, EveryTitleWordFindsItsPage) {
    size_t searched = 0;
    for (const ExamplePage &page : example_pages())
        for (const std::string &word : testsupport::split_words(page.title)) {
            if (!isalnum((unsigned char)word[0])) continue;
            const std::vector<std::string> links = found_pages(word);
            EXPECT_NE(std::find(links.begin(), links.end(), page.url), links.end())
                << "\"" << word << "\" does not find " << page.url;
            searched++;
        }
    EXPECT_GE(searched, 30u);
}

// Words of the pages (title, description and body) in another form than the
// stem, and how many pages hold them: "colony" is in the body of five pages
// and only in the description of two more.
TEST(ExampleIndex, InflectedWordsFindEveryPageThatHoldsThem) {
    const struct {
        const char *word;
        size_t pages;
    } cases[] = {{"candles", 1}, {"candle", 1}, {"colony", 7}, {"colonies", 7},
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

// The swarms page is in two categories: it shows both and either filter finds it.
TEST(ExampleIndex, SwarmsPageIsInTwoCategories) {
    const std::string swarms = "http://localhost/notes/preventing-swarms.html";
    for (const char *query :
         {"vesk_query=swarm", "vesk_query=swarm&vesk_cat=0", "vesk_query=swarm&vesk_cat=2"}) {
        const std::string page = testsupport::run_clean_get(kExampleDir, query).out;
        const size_t link = page.find("<a href=\"" + swarms + "\" >");
        ASSERT_NE(link, std::string::npos) << query;
        EXPECT_NE(page.find("<span class=\"category\"> [Hive care] [Bee biology]</span>", link),
                  std::string::npos)
            << query;
    }
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
    EXPECT_NE(suggestions.out.find(">honey crystallises</a></div>"), std::string::npos);
}

}  // namespace
