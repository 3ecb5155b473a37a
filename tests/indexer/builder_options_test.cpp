// The builder's options and limits: settings checked against the keys the
// program reads, meta fields read by type and filtered by the search,
// over-long fields cut on a character boundary with a notice while the
// search still reads the index.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "indexer/builder_fixture.h"

namespace {

using buildertest::page;
using indexer::BuildOptions;
using testsupport::read_file;

bool noticed(const std::vector<indexer::Notice> &notices, const std::string &part) {
    for (const indexer::Notice &n : notices)
        if (n.message.find(part) != std::string::npos) return true;
    return false;
}

TEST(BuilderOptions, SettingsAreCheckedAgainstTheKnownKeys) {
    const struct {
        std::vector<std::pair<std::string, std::string>> settings;
        std::string language, error;  // error "": accepted
    } cases[] = {
        {{{"NoSuchKey", "1"}}, "english", "unknown setting \"NoSuchKey\""},
        {{{"NumPages", "3"}}, "english", "NumPages describes the index"},
        {{{"DisplayTitle", "yes"}}, "english", "DisplayTitle: a whole number"},
        {{{"MaxMatches", "-1"}}, "english", "MaxMatches: a whole number"},
        {{{"XMLTitle", "a \"b\""}}, "english", "XMLTitle: a text"},
        {{{"Charset", std::string(1024, 'x')}}, "english", "Charset: a text of at most 1023"},
        {{{"WordJoinChars", "&"}}, "english", "WordJoinChars cannot hold"},
        {{}, "klingon", "unknown language \"klingon\""},
        {{{"DisplayTitle", "0"}, {"STR_POWEREDBY", "Found by"}}, "none", ""},
        {{{"Charset", std::string(1023, 'x')}, {"MaxMatches", "4294967295"}}, "french", ""},
    };
    for (const auto &c : cases) {
        BuildOptions o = buildertest::options();
        o.settings = c.settings;
        o.language = c.language;
        indexer::IndexBuilder builder(o);
        if (c.error.empty())
            EXPECT_TRUE(builder.ok()) << builder.error();
        else
            EXPECT_NE(builder.error().find(c.error), std::string::npos)
                << c.error << " / " << builder.error();
    }
}

TEST(BuilderOptions, BlocksMustFitTheSettingsFile) {
    const struct {
        std::vector<std::string> categories;
        indexer::MetaFieldOption field;
        std::string error;
    } cases[] = {
        {{"Bees", ""}, {"author", 1, "Author", "", {}, -1}, "category name"},
        {{"Bees"}, {"two words", 1, "Author", "", {}, -1}, "must be one word"},
        {{"Bees"}, {"author", 7, "Author", "", {}, -1}, "type must be 0 to 4"},
        {{"Bees"}, {"author", 1, std::string(120, 'c'), "", {}, -1}, "meta field text"},
        {{"Bees"}, {"size", 2, "Size", "", {std::string(70, 'o')}, -1}, "meta field option"},
        {{"Bees", "Wax"}, {"size", 3, "Size", "Sizes", {"S", "M"}, 0}, ""},
    };
    for (const auto &c : cases) {
        BuildOptions o = buildertest::options();
        o.categories = c.categories;
        o.meta_fields = {c.field};
        indexer::IndexBuilder builder(o);
        if (c.error.empty())
            EXPECT_TRUE(builder.ok()) << builder.error();
        else
            EXPECT_NE(builder.error().find(c.error), std::string::npos) << builder.error();
    }
}

TEST(BuilderOptions, SettingsFileHoldsTheRunsKeysAndTheSiteName) {
    BuildOptions o = buildertest::options();
    o.settings = {{"DisplayScore", "1"}, {"STR_POWEREDBY", "Found by"}, {"Logging", "1"}};
    const std::string dir = buildertest::build(o, {page("a.html", "Bees", "bees and honey")});
    ASSERT_NE(dir, "");
    const std::string settings = read_file(dir + "/settings.vdat");
    for (const char *line :
         {"DisplayScore = 1\n", "Logging = 1\n", "STR_POWEREDBY = \"Found by\"\n",
          "XMLTitle = \"Example site\"\n", "XMLURL = \"http://example.org/\"\n", "NumPages = 1\n",
          "UseStemming = 1\n", "StemmingAlgo = 2\n", "MapAccents = 1\nAccentChars = \"\u00C0\""})
        EXPECT_NE(settings.find(line), std::string::npos) << line;
    EXPECT_NE(buildertest::search(dir, "vesk_query=bee").find("Found by"), std::string::npos);
    testsupport::remove_tree(dir);
}

TEST(BuilderOptions, MetaFieldsAreReadByTypeAndFiltered) {
    BuildOptions o = buildertest::options();
    o.settings = {{"MetaMoneyShowDec", "1"}};
    o.meta_fields = {{"author", 1, "Author", "", {}, -1},
                     {"season", 2, "Season", "", {"Spring", "Summer"}, -1},
                     {"minutes", 0, "Minutes", "", {}, 2},
                     {"price", 4, "Price", "", {}, -1},
                     {"tags", 3, "Tags", "", {"wax", "honey", "hive"}, -1}};
    std::vector<indexer::ExtractedPage> pages = {page("a.html", "Honey cake", "honey and flour"),
                                                 page("b.html", "Honey wax", "honey and wax"),
                                                 page("c.html", "Honey jar", "honey in jars")};
    pages[0].meta = {"Margaret Hale", "summer", "12", "$3.50", "honey, hive"};
    pages[1].meta = {"Tom Okafor", "winter", "lots", "2", "wax"};
    pages[2].meta = {std::string(300, 'x'), "", " 40 ", "", ""};
    std::vector<indexer::Notice> notices;
    std::string error;
    const std::string dir = buildertest::build(o, pages, 2, &error, &notices);
    ASSERT_NE(dir, "") << error;
    EXPECT_TRUE(noticed(notices, "season value \"winter\" left out"));
    EXPECT_TRUE(noticed(notices, "minutes value \"lots\" left out"));
    EXPECT_TRUE(noticed(notices, "author cut to 255 bytes"));
    const struct {
        const char *query;
        std::vector<const char *> shown, hidden;
    } cases[] = {
        {"vesk_query=honey&author=Hale", {"a.html"}, {"b.html", "c.html"}},
        {"vesk_query=honey&minutes=20", {"a.html"}, {"c.html"}},
        {"vesk_query=honey&season=1", {"a.html"}, {"b.html"}},
        {"vesk_query=honey&price=3.5", {"a.html"}, {"b.html"}},
        {"vesk_query=honey", {"3.50", "Margaret Hale", "Summer"}, {}},
    };
    for (const auto &c : cases) {
        const std::string answer = buildertest::search(dir, c.query);
        for (const char *text : c.shown)
            EXPECT_NE(answer.find(text), std::string::npos) << c.query << ": " << text;
        for (const char *text : c.hidden)
            EXPECT_EQ(answer.find(std::string("example.org/") + text), std::string::npos)
                << c.query << ": " << text;
    }
    testsupport::remove_tree(dir);
}

// A text of `bytes` bytes of two-byte characters after a one-byte start, so
// that every even limit falls inside a character.
std::string wide_text(size_t bytes) {
    std::string text = "a";
    while (text.size() + 2 <= bytes) text += "\u00E9";
    return text;
}

TEST(BuilderLimits, OverLongFieldsAreCutOnACharacterBoundaryWithANotice) {
    indexer::ExtractedPage big = page("big.html", "x", "honey everywhere");
    big.url = "http://example.org/" + wide_text(3000).substr(1);
    big.title = "Honey " + wide_text(600);
    big.description = wide_text(2500);
    big.runs[0].text = big.title;
    std::vector<indexer::Notice> notices;
    std::string error;
    const std::string dir = buildertest::build(
        buildertest::options(), {big, page("small.html", "Honey", "honey")}, 1, &error, &notices);
    ASSERT_NE(dir, "") << error;
    EXPECT_TRUE(noticed(notices, "URL cut to 2083 bytes"));
    EXPECT_TRUE(noticed(notices, "title cut to 511 bytes"));
    EXPECT_TRUE(noticed(notices, "description cut to 1999 bytes"));
    const std::string data = read_file(dir + "/vesk_pagedata.vdat");
    const size_t first_bar = data.find('|');
    EXPECT_EQ(first_bar, 2083u);
    const std::string answer = buildertest::search(dir, "vesk_query=honey");
    EXPECT_NE(answer.find("2 results found."), std::string::npos) << answer;
    EXPECT_EQ(answer.find("Error"), std::string::npos);
    testsupport::remove_tree(dir);
}

TEST(BuilderLimits, FieldSeparatorsAndLineEndsNeverReachThePageData) {
    indexer::ExtractedPage odd = page("odd.html", "A|B\nC", "honey");
    odd.url = "http://example.org/a|b";
    odd.description = "one\r\ntwo|three";
    const std::string dir = buildertest::build(buildertest::options(), {odd});
    ASSERT_NE(dir, "");
    EXPECT_EQ(read_file(dir + "/vesk_pagedata.vdat"),
              "http://example.org/a%7Cb|A B C|one  two three||\n");
    testsupport::remove_tree(dir);
}

TEST(BuilderLimits, AnEmptySiteStillAnswers) {
    const std::string dir = buildertest::build(buildertest::options(), {});
    ASSERT_NE(dir, "");
    const std::string answer = buildertest::search(dir, "vesk_query=honey");
    EXPECT_NE(answer.find("No results"), std::string::npos) << answer;
    testsupport::remove_tree(dir);
}

TEST(BuilderLimits, AnUnwritableDirectoryIsAClearError) {
    indexer::IndexBuilder builder(buildertest::options());
    std::string error;
    EXPECT_FALSE(builder.write("/nonexistent/index", &error));
    EXPECT_NE(error.find("cannot write /nonexistent/index/"), std::string::npos) << error;
}

}  // namespace

namespace {

TEST(BuilderLimits, ArbitraryBytesNeverBreakTheIndex) {
    std::mt19937 random(5);
    std::vector<indexer::ExtractedPage> pages;
    for (int i = 0; i < 30; i++) {
        std::string text;
        for (int k = 0; k < 3000; k++)
            text += (char)(k % 7 == 0   ? ' '
                           : k % 5 == 0 ? (int)('a' + random() % 3)
                                        : (int)(random() % 256));
        pages.push_back(page("p" + std::to_string(i) + ".html", text.substr(0, 40), text));
        pages.back().description = text.substr(0, 300);
    }
    std::string error;
    const std::string dir = buildertest::build(buildertest::options(), pages, 3, &error);
    ASSERT_NE(dir, "") << error;
    for (const char *query :
         {"vesk_query=a", "vesk_query=b*", "vesk_query=%22a+b%22", "vesk_ac=1&vesk_query=a"}) {
        const std::string answer = buildertest::search(dir, query);
        for (const char *bad : {"Error", "Unable", "Critical", "Can not find"})
            EXPECT_EQ(answer.find(bad), std::string::npos) << query << ": " << bad << "\n"
                                                           << answer.substr(0, 300);
    }
    testsupport::remove_tree(dir);
}

}  // namespace
