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
        size_t at = 0;
        for (const std::string &path : c.found) {
            const size_t found = answer.find(kBaseUrl + path + "\"", at);
            EXPECT_NE(found, std::string::npos) << c.query << ": " << path << "\n" << answer;
            if (found != std::string::npos) at = found;
        }
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
