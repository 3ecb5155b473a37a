// The indexer's options end to end: a config file with categories, meta
// fields, recommended links and setting keys, and what the search program
// then answers; publishing under a symlink; and the runs that must fail with
// a clear message.
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "indexer/indexer_fixture.h"

namespace {

using indexer_test::kBaseUrl;
using indexer_test::SiteTest;

std::string page(const std::string &title, const std::string &meta, const std::string &body) {
    return "<html><head><title>" + title + "</title>" + meta + "</head><body><p>" + body +
           "</p></body></html>";
}

// Expects answer to link to the pages at paths, in this order.
void expect_in_order(const std::string &answer, const std::vector<std::string> &paths,
                     const std::string &what) {
    size_t at = 0;
    for (const std::string &path : paths) {
        const size_t found = answer.find(kBaseUrl + path + "\"", at);
        EXPECT_NE(found, std::string::npos) << what << ": " << path << "\n" << answer;
        if (found != std::string::npos) at = found;
    }
}

class ConfiguredSite : public SiteTest {
   protected:
    void SetUp() override {
        SiteTest::SetUp();
        put("hives/old.html", page("Old hive",
                                   "<meta name=date content=2001-05-06>"
                                   "<meta name=author content=Ann>",
                                   "honey from an old hive"));
        put("hives/new.html", page("New hive",
                                   "<meta name=date content=2023-01-02>"
                                   "<meta name=author content=Bob>",
                                   "honey from a new hive"));
        put("shop/jar.html", page("Honey jar",
                                  "<meta name=date content=2015-07-08>"
                                  "<meta name=price content=12>",
                                  "honey in a jar, swarm season"));
        testsupport::write_file(root_, "site.conf",
                                "name = Bee notes\n"
                                "language = english\n"
                                "[categories]\n"
                                "hives/* = Hives\n"
                                "shop/* = Shop\n"
                                "[meta author]\n"
                                "type = text\n"
                                "caption = Author\n"
                                "[recommended]\n"
                                "swarm = http://example.test/shop/jar.html\n"
                                "[settings]\n"
                                "DateRangeSearch = 1\n");
    }
};

TEST_F(ConfiguredSite, CategoriesMetaFieldsDatesRecommendedAutocomplete) {
    const std::string index = index_site({"--config", root_ + "/site.conf"});
    const struct {
        const char *query;                   // the whole query string
        std::vector<std::string> found;      // pages found, in this order
        std::vector<std::string> not_found;  // pages that must not be found
    } cases[] = {
        {"vesk_query=honey", {}, {}},
        {"vesk_query=honey&vesk_cat=0", {"hives/new.html"}, {"shop/jar.html"}},
        {"vesk_query=honey&vesk_cat=1", {"shop/jar.html"}, {"hives/old.html", "hives/new.html"}},
        {"vesk_query=honey&author=Ann", {"hives/old.html"}, {"hives/new.html", "shop/jar.html"}},
        {"vesk_query=honey&vesk_sort=1", {"hives/new.html", "shop/jar.html", "hives/old.html"}, {}},
        {"vesk_query=hive&vesk_datefrom=01/01/2020&vesk_dateto=31/12/2030",
         {"hives/new.html"},
         {"hives/old.html"}},
    };
    for (const auto &c : cases) {
        const std::string answer = search(index, c.query);
        expect_in_order(answer, c.found, c.query);
        for (const std::string &path : c.not_found)
            EXPECT_FALSE(links_to(answer, path)) << c.query << ": " << path;
    }
    const std::string all = search(index, "vesk_query=honey");
    for (const char *text : {"[Hives]", "[Shop]", "Author", "Ann", "08 Jul 2015"})
        EXPECT_NE(all.find(text), std::string::npos) << text << "\n" << all;
    const std::string feed = search(index, "vesk_query=honey&vesk_xml=1");
    EXPECT_NE(feed.find("<title>Bee notes</title>"), std::string::npos) << feed;
    const std::string recommended = search(index, "vesk_query=swarm");
    EXPECT_NE(recommended.find("recommended"), std::string::npos) << recommended;
    const std::string typed = search(index, "vesk_ac=1&vesk_query=hon");
    EXPECT_NE(typed.find("honey"), std::string::npos) << typed;
}

// A page is in the category of every rule that matches it, once even when
// two rules name the same category; the filter, the result blocks and the
// summary count it in each.
TEST_F(SiteTest, EveryMatchingCategoryRuleApplies) {
    put("hives/frame.html", page("Hive frame", "", "honey on a frame"));
    put("shop/frames/deep.html", page("Deep frame", "", "honey in a deep frame"));
    put("shop/jar.html", page("Jar", "", "honey in a jar"));
    testsupport::write_file(root_, "site.conf",
                            "[categories]\n"
                            "hives/* = Hives\n"
                            "shop/* = Shop\n"
                            "shop/frames/* = Hives\n"
                            "frame.html = Hives\n"
                            "[settings]\n"
                            "DisplayCatSummary = 1\n");
    const std::string index = index_site({"--config", root_ + "/site.conf"});
    const struct {
        const char *query;
        std::vector<std::string> found, not_found;
    } cases[] = {
        {"vesk_query=honey&vesk_cat=0",
         {"hives/frame.html", "shop/frames/deep.html"},
         {"shop/jar.html"}},
        {"vesk_query=honey&vesk_cat=1",
         {"shop/frames/deep.html", "shop/jar.html"},
         {"hives/frame.html"}},
    };
    for (const auto &c : cases) {
        const std::string answer = search(index, c.query);
        for (const std::string &path : c.found)
            EXPECT_TRUE(links_to(answer, path)) << c.query << ": " << path << "\n" << answer;
        for (const std::string &path : c.not_found)
            EXPECT_FALSE(links_to(answer, path)) << c.query << ": " << path;
    }
    const std::string all = search(index, "vesk_query=honey");
    for (const char *text : {">Deep frame</a><span class=\"category\"> [Hives] [Shop]</span>",
                             ">Hive frame</a><span class=\"category\"> [Hives]</span>",
                             ">Hives</a> (2)", ">Shop</a> (2)"})
        EXPECT_NE(all.find(text), std::string::npos) << text << "\n" << all;
}

// [boost] rules scale a page's scores by N / 10 (below 10 lowers it, 0 is
// none), the last rule that matches a page counting; a boost outside 0 to
// 255 or not a whole number is a config error naming the line.
TEST_F(SiteTest, BoostRulesRankPagesAndKeepTheirRange) {
    for (const char *name : {"a", "b", "c"})
        put(std::string(name) + ".html", page("Page", "", "honey from the hive"));
    const struct {
        const char *rules;
        std::vector<std::string> order;  // for "honey"
    } ranks[] = {
        {"a.html = 5\nc.html = 40\n", {"c.html", "b.html", "a.html"}},
        {"*.html = 30\nb.html = 20\na.html = 0\n", {"c.html", "b.html", "a.html"}},
        {"c.html = 255\nb.html = 11\n", {"c.html", "b.html", "a.html"}},
        {"b.html = 40\n*.html = 20\nc.html = 5\n", {"a.html", "b.html", "c.html"}},
    };
    for (size_t i = 0; i < sizeof ranks / sizeof *ranks; i++) {
        const std::string config = "boost" + std::to_string(i) + ".conf";
        const std::string index = root_ + "/index" + std::to_string(i);
        testsupport::write_file(root_, config, std::string("[boost]\n") + ranks[i].rules);
        const testsupport::CgiResponse run =
            run_indexer({"--base-url", kBaseUrl, "--config", root_ + "/" + config, site_, index});
        ASSERT_EQ(run.exit_code, 0) << ranks[i].rules << run.err;
        expect_in_order(search(index, "vesk_query=honey"), ranks[i].order, ranks[i].rules);
    }
    for (const char *value : {"256", "-1", "1000000000000000000000", "1.5", "x", "0x10", ""}) {
        testsupport::write_file(root_, "bad.conf", std::string("[boost]\na.html = ") + value);
        const testsupport::CgiResponse run = run_indexer(
            {"--base-url", kBaseUrl, "--config", root_ + "/bad.conf", site_, root_ + "/bad"});
        EXPECT_EQ(run.exit_code, 2) << value;
        const std::string message =
            "bad.conf:2: boost of a.html takes a number from 0 (none) to "
            "255, not \"" +
            std::string(value) + "\"";
        EXPECT_NE(run.err.find(message), std::string::npos) << value << "\n" << run.err;
    }
}

TEST_F(SiteTest, PublishSwitchesTheLinkAndKeepsThePreviousIndex) {
    put("a.html", page("First edition", "", "alpha"));
    const std::string link = root_ + "/current";
    const std::vector<std::string> args = {"--base-url", kBaseUrl, "--publish", link, site_};
    ASSERT_EQ(run_indexer(args).exit_code, 0);
    char target[PATH_MAX];
    const ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
    ASSERT_GT(length, 0);
    const std::string first(target, (size_t)length);
    EXPECT_EQ(first.find('/'), std::string::npos) << first;  // beside the link
    EXPECT_TRUE(links_to(search(link, "vesk_query=alpha"), "a.html"));

    put("a.html", page("Second edition", "", "beta"));
    ASSERT_EQ(run_indexer(args).exit_code, 0);
    const ssize_t second_length = readlink(link.c_str(), target, sizeof target - 1);
    const std::string second(target, (size_t)second_length);
    EXPECT_NE(second, first);
    EXPECT_TRUE(links_to(search(link, "vesk_query=beta"), "a.html"));
    EXPECT_TRUE(links_to(search(root_ + "/" + first, "vesk_query=alpha"), "a.html"));

    // A run that fails leaves the published index and no partial folder.
    unlink((site_ + "/a.html").c_str());
    EXPECT_EQ(run_indexer(args).exit_code, 1);
    const ssize_t kept = readlink(link.c_str(), target, sizeof target - 1);
    EXPECT_EQ(std::string(target, (size_t)kept), second);
    struct stat status;
    EXPECT_NE(stat((root_ + "/" + second + ".partial").c_str(), &status), 0);

    // A real folder where the link should be is refused.
    mkdir((root_ + "/real").c_str(), 0755);
    put("b.html", page("B", "", "b"));
    const testsupport::CgiResponse refused =
        run_indexer({"--base-url", kBaseUrl, "--publish", root_ + "/real", site_});
    EXPECT_EQ(refused.exit_code, 1);
    EXPECT_NE(refused.err.find("is not a symlink"), std::string::npos) << refused.err;
}

TEST_F(SiteTest, RunsThatCannotIndexSayWhy) {
    put("a.html", page("A", "", "a"));
    testsupport::write_file(root_, "bad.conf", "name = x\nthis line is wrong\n");
    testsupport::write_file(root_, "keys.conf", "[settings]\nNoSuchKey = 1\n");
    testsupport::write_file(root_, "file", "x");
    mkdir((root_ + "/empty").c_str(), 0755);
    const std::string url = kBaseUrl, index = root_ + "/index";
    const struct {
        std::vector<std::string> args;
        int exit_code;
        const char *message;
    } cases[] = {
        {{site_, index}, 2, "no base URL"},
        {{"--base-url", url, "--frob", site_, index}, 2, "unknown option --frob"},
        {{"--base-url", url, "--language", "klingon", site_, index}, 2, "unknown language"},
        {{"--base-url", url, "--language", "arabic", site_, index}, 2, "known: none, danish"},
        {{"--base-url", url, "--jobs", "x", site_, index}, 2, "jobs takes a number"},
        {{"--base-url", url, index}, 2, "no source folder"},
        {{"--base-url", url, "--config", root_ + "/none.conf", site_, index},
         2,
         "cannot read config file"},
        {{"--base-url", url, "--config", root_ + "/bad.conf", site_, index}, 2, "bad.conf:2:"},
        {{"--base-url", url, "--config", root_ + "/keys.conf", site_, index}, 1, "NoSuchKey"},
        {{"--base-url", url, root_ + "/empty", index}, 1, "no page to index"},
        {{"--base-url", url, site_, root_ + "/file/index"}, 1, "no index written"},
        {{"--base-url", url, "--template", root_ + "/empty", site_, index},
         1,
         "holds no search_template.html"},
    };
    for (const auto &c : cases) {
        const testsupport::CgiResponse run = run_indexer(c.args);
        EXPECT_EQ(run.exit_code, c.exit_code) << c.message << "\n" << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << c.message << "\n" << run.err;
    }
    struct stat status;
    EXPECT_NE(stat((index + "/settings.vdat").c_str(), &status), 0);
}

TEST_F(SiteTest, QuietOffATerminal) {
    put("a.html", page("A", "", "a"));
    const testsupport::CgiResponse run =
        run_indexer({"--base-url", kBaseUrl, site_, root_ + "/index"});
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, "");
}

}  // namespace
