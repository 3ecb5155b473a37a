// The example index under examples/site: the committed files are exactly what
// the writer makes of its description, and the README's sample search answers
// with real results, an RSS feed and autocomplete items.
#include <gtest/gtest.h>

#include <string>

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
