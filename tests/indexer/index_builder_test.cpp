// The index builder through the real search program: indexes built from
// small sites answer title words, body phrases, excerpts, spelling
// suggestions, categories, meta fields, dates, recommended links and
// autocomplete as configured; the same pages give the same files whatever
// the number of threads; over-long fields are cut and the index still reads.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "indexer/builder_fixture.h"

namespace {

using buildertest::page;
using indexer::ExtractedPage;
using testsupport::read_file;

struct SitePage {
    const char *path, *title, *heading, *body;
};

const SitePage kSite[] = {
    {"hives/inspecting.html", "Inspecting a hive", "Before you open",
     "Open the hive on a warm, calm afternoon when most foragers are out. Smoke the entrance "
     "gently, then lift the crown board. Look for eggs standing upright in the cells."},
    {"hives/feeding.html", "Feeding bees in autumn", "Syrup",
     "A colony needs about twenty kilograms of stores to see it through winter. Mix two parts of "
     "white sugar with one part of warm water (a heavy syrup) and feed in the evening."},
    {"honey/extracting.html", "Extracting honey", "Equipment",
     "Take only frames that are capped; uncapped honey holds too much water and will ferment. "
     "Slice the cappings off with a warm knife and spin the frames slowly at first."},
    {"honey/crystallised.html", "Why honey crystallises", "",
     "Honey is a supersaturated solution of glucose and fructose. Glucose-rich honey, from rape "
     "or ivy, sets within weeks; a creamed honey is seeded with fine crystals."},
    {"wax/candles.html", "Beeswax candles", "Dipping",
     "Melt the cappings in a double boiler, never over a flame. Dip a wick again and again; "
     "candles from beeswax burn slowly and smell of honey. Don't overheat the wax!"},
    {"biology/drones.html", "The life of drones", "",
     "Drones are the male bees of the colony. They are larger than workers, have no sting and "
     "gather at drone congregation areas on warm afternoons."},
};

std::vector<ExtractedPage> site_pages() {
    std::vector<ExtractedPage> pages;
    for (const SitePage &p : kSite) pages.push_back(page(p.path, p.title, p.body, p.heading));
    return pages;
}

std::vector<std::string> words_of(const std::string &text) {
    std::vector<std::string> words;
    std::string word;
    for (char ch : text + " ") {
        if (isalnum((unsigned char)ch)) {
            word += ch;
        } else {
            if (!word.empty()) words.push_back(word);
            word.clear();
        }
    }
    return words;
}

// Where the answer's results (not its recommended links) link to path, or npos.
size_t result_at(const std::string &answer, const std::string &path) {
    const size_t results = answer.find("<div class=\"results\">");
    if (results == std::string::npos) return results;
    return answer.find("<a href=\"http://example.org/" + path + "\" >", results);
}

class BuiltSite : public ::testing::Test {
   protected:
    static void SetUpTestSuite() {
        indexer::BuildOptions o = buildertest::options();
        o.categories = {"Hives", "Honey", "Wax", "Biology"};
        o.recommended = {{"honey,extracting", "http://example.org/honey/extracting.html"},
                         {"nothing", "http://example.org/missing.html"}};
        std::vector<ExtractedPage> pages = site_pages();
        const int category_of[] = {0, 0, 1, 1, 2, 3};
        for (size_t i = 0; i < pages.size(); i++) {
            pages[i].categories = {category_of[i]};
            pages[i].date = 1700000000 + (uint32_t)i * 86400;
        }
        std::string error;
        dir_ = new std::string(buildertest::build(o, pages, 4, &error, &notices_));
        ASSERT_NE(*dir_, "") << error;
    }
    static void TearDownTestSuite() {
        testsupport::remove_tree(*dir_);
        delete dir_;
    }
    static std::string search(const std::string &query) {
        return buildertest::search(*dir_, query);
    }
    static std::string *dir_;
    static std::vector<indexer::Notice> notices_;
};
std::string *BuiltSite::dir_ = nullptr;
std::vector<indexer::Notice> BuiltSite::notices_;

TEST_F(BuiltSite, EveryPageIsFoundByEachOfItsTitleWords) {
    for (const SitePage &p : kSite)
        for (const std::string &word : words_of(p.title))
            EXPECT_NE(result_at(search("vesk_query=" + word), p.path), std::string::npos)
                << p.title << ": " << word;
}

TEST_F(BuiltSite, PhrasesFromPageBodiesAreFoundOnTheirPage) {
    for (const SitePage &p : kSite) {
        const std::vector<std::string> words = words_of(p.body);
        for (size_t at = 0; at + 3 <= words.size(); at += 5) {
            const std::string phrase = words[at] + "+" + words[at + 1] + "+" + words[at + 2];
            const std::string answer = search("vesk_query=%22" + phrase + "%22");
            EXPECT_NE(result_at(answer, p.path), std::string::npos) << p.path << ": " << phrase;
        }
    }
}

TEST_F(BuiltSite, ExcerptsShowThePagesOwnText) {
    const struct {
        const char *query, *excerpt;
    } cases[] = {
        {"kilograms", "needs about twenty <span class=\"highlight\">kilograms</span> of stores"},
        {"sugar", "Mix two parts of white <span class=\"highlight\">sugar</span> with one"},
        {"overheat", "Don't <span class=\"highlight\">overheat</span> the wax!"},
        {"glucose", "<span class=\"highlight\">Glucose</span>-rich honey, from rape"},
    };
    for (const auto &c : cases) {
        const std::string answer = search(std::string("vesk_query=") + c.query);
        const size_t context = answer.find("<div class=\"context\">");
        ASSERT_NE(context, std::string::npos) << c.query;
        EXPECT_NE(answer.find(c.excerpt, context), std::string::npos) << c.query << "\n" << answer;
    }
}

TEST_F(BuiltSite, StemsAndSpellingsFindTheSameWord) {
    // Stored under their stems: every form finds the page.
    const struct {
        const char *query, *path;
    } cases[] = {{"candle", "wax/candles.html"},
                 {"Candles", "wax/candles.html"},
                 {"dipping", "wax/candles.html"},
                 {"dip", "wax/candles.html"},
                 {"crystallise", "honey/crystallised.html"},
                 {"FORAGER", "hives/inspecting.html"}};
    for (const auto &c : cases)
        EXPECT_NE(result_at(search(std::string("vesk_query=") + c.query), c.path),
                  std::string::npos)
            << c.query;
}

TEST_F(BuiltSite, AMisspelledWordSuggestsTheIntendedOne) {
    const struct {
        const char *query, *suggestion;
    } cases[] = {{"hony", ">honey</a>"}, {"candels", ">candles</a>"}, {"kolony", ">colony</a>"}};
    for (const auto &c : cases) {
        const std::string answer = search(std::string("vesk_query=") + c.query);
        const size_t at = answer.find("Did you mean:");
        ASSERT_NE(at, std::string::npos) << c.query;
        EXPECT_NE(answer.find(c.suggestion, at), std::string::npos) << c.query << "\n" << answer;
    }
}

TEST_F(BuiltSite, CategoriesRestrictTheResults) {
    const std::string all = search("vesk_query=honey");
    const std::string wax = search("vesk_query=honey&vesk_cat=2");
    EXPECT_NE(result_at(all, "honey/extracting.html"), std::string::npos);
    EXPECT_NE(result_at(wax, "wax/candles.html"), std::string::npos);
    EXPECT_EQ(result_at(wax, "honey/extracting.html"), std::string::npos);
    EXPECT_NE(all.find("<option value=\"3\">Biology</option>"), std::string::npos) << all;
}

TEST_F(BuiltSite, DatesShowAndSort) {
    EXPECT_NE(search("vesk_query=drones").find("19 Nov 2023"), std::string::npos);
    const std::string newest = search("vesk_query=honey&vesk_sort=1");
    EXPECT_LT(result_at(newest, "wax/candles.html"), result_at(newest, "honey/extracting.html"));
}

TEST_F(BuiltSite, RecommendedLinksPointAtTheirPages) {
    const std::string answer = search("vesk_query=extracting");
    const size_t at = answer.find("<div class=\"recommended\">");
    ASSERT_NE(at, std::string::npos) << answer;
    EXPECT_NE(answer.find("http://example.org/honey/extracting.html", at), std::string::npos);
    bool noticed = false;
    for (const indexer::Notice &n : notices_)
        noticed = noticed || n.message.find("missing.html") != std::string::npos;
    EXPECT_TRUE(noticed);
}

TEST_F(BuiltSite, AutocompleteOffersFrequentWordsAndTitlePhrases) {
    const std::string answer = search("vesk_ac=1&vesk_query=hon");
    EXPECT_NE(answer.find(">honey</a></div>"), std::string::npos) << answer;
    const std::string phrases = search("vesk_ac=1&vesk_query=extr");
    EXPECT_NE(phrases.find(">extracting honey</a></div>"), std::string::npos) << phrases;
    // The more frequent suggestion comes first.
    const std::string list = read_file(*dir_ + "/vesk_autocomplete.vdat");
    EXPECT_LT(list.find("honey\n"), list.find("hive\n")) << list;
}

TEST_F(BuiltSite, EveryAnswerKindRunsWithoutAnError) {
    for (const char *query :
         {"vesk_query=honey&vesk_xml=1", "vesk_query=hon*", "vesk_query=bees+-honey",
          "vesk_query=%22warm+water%22+syrup&vesk_and=1", "vesk_query=", "vesk_query=zzzz"}) {
        const std::string answer = search(query);
        for (const char *bad : {"Error", "Unable", "Critical", "Can not find"})
            EXPECT_EQ(answer.find(bad), std::string::npos) << query << ": " << bad;
    }
}

TEST(IndexBuilder, FilesAreTheSameWhateverTheThreadCount) {
    std::vector<ExtractedPage> pages;
    for (int copy = 0; copy < 20; copy++)
        for (const SitePage &p : kSite) {
            pages.push_back(page(std::to_string(copy) + "/" + p.path, p.title, p.body, p.heading));
            pages.back().runs.back().text += " word" + std::to_string(copy * 7 % 13);
        }
    const std::string one = buildertest::build(buildertest::options(), pages, 1);
    const std::string eight = buildertest::build(buildertest::options(), pages, 8);
    ASSERT_NE(one, "");
    ASSERT_NE(eight, "");
    for (const char *name : {"settings.vdat", "vesk_dictionary.vdat", "vesk_wordmap.vdat",
                             "vesk_pagetext.vdat", "vesk_pageinfo.vdat", "vesk_pagedata.vdat",
                             "vesk_spelling.vdat", "vesk_autocomplete.vdat"}) {
        const std::string a = read_file(one + "/" + name);
        EXPECT_FALSE(a.empty()) << name;
        EXPECT_TRUE(a == read_file(eight + "/" + name)) << name;
    }
    testsupport::remove_tree(one);
    testsupport::remove_tree(eight);
}

}  // namespace
