// Relevance end to end: sitequery-index indexes the small workshop site of
// tests/data/relevance_site (written for these tests: pages about one thing
// each, beside a glossary, a hub page and news pages that repeat the same
// words), once with stemming and once without, and the real search program
// must put each page first for the rarest words of its title, find every
// phrase on its page, and propose the word meant for a misspelling.
#include <gtest/gtest.h>
#include <stdio.h>
#include <strings.h>

#include <string>
#include <vector>

#include "indexer/indexer_fixture.h"

namespace {

const char kSiteDir[] = "/relevance_site";
constexpr size_t kResultsAsked = 100;  // vesk_per_page of every query
const char kLinkOpen[] = "<link>";
const char kLinkClose[] = "</link>";
const char kItemOpen[] = "<item>";
const char kSpellingOpen[] = "<vesk:spelling>";
const char kSpellingClose[] = "</vesk:spelling>";

// The indexes of the site, built once for the whole suite.
class RelevanceSite : public ::testing::Test {
   protected:
    static void SetUpTestSuite() {
        root_ = new std::string(testsupport::make_temp_dir("relevance"));
        const std::string site = std::string(SITEQUERY_TEST_DATA) + kSiteDir;
        for (int stemmed = 0; stemmed < 2; stemmed++) {
            std::string &index = stemmed ? stemmed_ : plain_;
            index = *root_ + (stemmed ? "/english" : "/none");
            testsupport::CgiRequest request;
            request.program = SITEQUERY_INDEX_BINARY;
            request.method = "";
            request.remote_addr = "";
            request.script_name = "";
            request.args = {"--base-url", indexer_test::kBaseUrl,
                            "--language", stemmed ? "english" : "none",
                            "--quiet",    site,
                            index};
            request.timeout_seconds = 120;
            const testsupport::CgiResponse built = testsupport::run_cgi(request);
            ASSERT_EQ(built.exit_code, 0) << built.err;
        }
    }
    static void TearDownTestSuite() {
        testsupport::remove_tree(*root_);
        delete root_;
        root_ = nullptr;
    }

    // The XML answer to a query (URL-encoded) on index, all words required.
    static std::string ask(const std::string &index, const std::string &query) {
        const std::string form =
            "vesk_xml=1&vesk_and=1&vesk_per_page=" + std::to_string(kResultsAsked);
        return testsupport::run_clean_get(index, form + "&vesk_query=" + query).out;
    }

    // The site paths of the results, in order.
    static std::vector<std::string> results(const std::string &answer) {
        std::vector<std::string> paths;
        const std::string base = indexer_test::kBaseUrl;
        for (size_t at = answer.find(kItemOpen); at != std::string::npos;
             at = answer.find(kItemOpen, at + 1)) {
            const size_t link = answer.find(kLinkOpen, at);
            const size_t end = answer.find(kLinkClose, link);
            if (link == std::string::npos || end == std::string::npos) break;
            std::string url =
                answer.substr(link + sizeof kLinkOpen - 1, end - link - (sizeof kLinkOpen - 1));
            if (url.compare(0, base.size(), base) == 0) url.erase(0, base.size());
            paths.push_back(url);
        }
        return paths;
    }

    // The "Did you mean" proposals, in order.
    static std::vector<std::string> proposals(const std::string &answer) {
        std::vector<std::string> words;
        for (size_t at = answer.find(kSpellingOpen); at != std::string::npos;
             at = answer.find(kSpellingOpen, at + 1)) {
            const size_t start = at + sizeof kSpellingOpen - 1;
            const size_t end = answer.find(kSpellingClose, start);
            if (end == std::string::npos) break;
            words.push_back(answer.substr(start, end - start));
        }
        return words;
    }

    struct PageCase {
        const char *query;  // URL-encoded, quotes included
        const char *page;   // the page it must find
    };
    // Each case's page is among its first `within` results, on both indexes.
    void expect_within(const PageCase *cases, size_t count, size_t within) {
        for (const std::string *index : {&stemmed_, &plain_})
            for (size_t i = 0; i < count; i++) {
                const std::vector<std::string> found = results(ask(*index, cases[i].query));
                size_t rank = 0;
                while (rank < found.size() && found[rank] != cases[i].page) rank++;
                EXPECT_LT(rank, within) << *index << " " << cases[i].query << ": " << cases[i].page
                                        << " at " << rank + 1 << " of " << found.size()
                                        << ", first " << (found.empty() ? "(none)" : found[0]);
            }
    }

    struct Misspelling {
        const char *typed;  // the query, a word on no page
        const char *meant;  // the first proposal it must get (in any case)
    };
    void expect_first_proposals(const Misspelling *cases, size_t count) {
        for (size_t i = 0; i < count; i++) {
            const std::vector<std::string> words = proposals(ask(stemmed_, cases[i].typed));
            EXPECT_TRUE(!words.empty() && strcasecmp(words[0].c_str(), cases[i].meant) == 0)
                << cases[i].typed << ": first proposal " << (words.empty() ? "(none)" : words[0])
                << ", meant " << cases[i].meant;
        }
    }

    static std::string *root_;
    static std::string stemmed_, plain_;
};

std::string *RelevanceSite::root_ = nullptr;
std::string RelevanceSite::stemmed_, RelevanceSite::plain_;

// A page's rarest title words find it first, though longer pages (the
// glossary, the hub page, the news) repeat the same words more often.
TEST_F(RelevanceSite, TitleWordsPutTheirPageFirst) {
    const PageCase cases[] = {
        {"varnish+oak", "varnish.html"},
        {"bandsaw+tension", "bandsaw.html"},
        {"dovetail+joints", "dovetail.html"},
        {"lathe+safety", "lathe.html"},
        {"lathe+gouges", "lathe-tools.html"},
        {"water+stones", "sharpening.html"},
        {"oil+finishes", "finishes.html"},
        {"solder+flux", "electronics/flux.html"},
        {"soldering+iron", "electronics/soldering.html"},
        {"capacitor+polarity", "electronics/capacitor.html"},
        {"resistor+colour", "electronics/resistor.html"},
        {"multimeter+current", "electronics/multimeter.html"},
        {"laser+plywood", "laser.html"},
        {"booking+laser", "members/booking.html"},
        {"workshop+rules", "members/rules.html"},
        {"dust+extraction", "safety/dust.html"},
        {"eye+protection", "safety/eyes.html"},
        {"first+aid", "safety/first-aid.html"},
        {"generators+iterators", "python/generators.html"},
        {"decorators", "python/decorators.html"},
        {"reminders+asyncio", "python/asyncio.html"},
        {"spring+open+day", "news/spring-open-day.html"},
        {"autumn", "news/autumn-clear-out.html"},
        {"glossary", "glossary.html"},
        {"uses+filetime", "api/class-use/FileTime.html"},
        {"files+api", "api/Files.html"},
        {"path+api", "api/Path.html"},
    };
    expect_within(cases, sizeof cases / sizeof *cases, 1);
}

// Quoted phrases are found on their page, with stemming and without: words
// joined across inline markup, in headings and table cells, after an earlier
// lone occurrence of the first word, and at the end of a long page.
TEST_F(RelevanceSite, PhrasesAreFoundOnTheirPage) {
    const PageCase cases[] = {
        {"%22static+filetime%22", "api/FileTime.html"},
        {"%22static+filetime%22", "api/class-use/FileTime.html"},
        {"%22static+filetime%22", "api/Files.html"},
        {"%22static+filetime+files%22", "api/class-use/FileTime.html"},
        {"%22static+path+createfile%22", "api/Files.html"},
        {"%22static+long+size%22", "api/Files.html"},
        {"%22methods+that+return+filetime%22", "api/class-use/FileTime.html"},
        {"%22a+static+factory+in+files%22", "api/Path.html"},
        {"%22hand+cut+dovetail+joints%22", "dovetail.html"},
        {"%22flux+core+solder%22", "electronics/flux.html"},
        {"%22flux+core+solder%22", "glossary.html"},
        {"%22too+little+tension%22", "bandsaw.html"},
        {"%22release+the+tension%22", "bandsaw.html"},
        {"%22members+only+decorator%22", "python/decorators.html"},
        {"%22yield+slot%22", "python/generators.html"},
        {"%22thin+the+first+coat%22", "varnish.html"},
        {"%22thin+the+first+coat+of+varnish%22", "glossary.html"},
        {"%22water+stones+cut+fast%22", "glossary.html"},
        {"%22wraps+another+function%22", "glossary.html"},
        {"%22blinking+badge%22", "news/spring-open-day.html"},
        {"%22written+by+the+members%22", "laser.html"},
    };
    expect_within(cases, sizeof cases / sizeof *cases, kResultsAsked);
}

// Misspellings of the site's words that already get the word meant as the
// first "Did you mean" proposal.
TEST_F(RelevanceSite, MisspellingsProposeTheWordMeant) {
    const Misspelling cases[] = {
        {"bandsow", "bandsaw"},       {"workshpo", "workshop"},  {"varnsh", "varnish"},
        {"solderng", "soldering"},    {"capacitr", "capacitor"}, {"lathee", "lathe"},
        {"multimetre", "multimeter"}, {"resistr", "resistor"},   {"tensoin", "tension"},
        {"membres", "members"},       {"varnihs", "varnish"},    {"dovetial", "dovetail"},
        {"plywod", "plywood"},        {"booknig", "booking"},
    };
    expect_first_proposals(cases, sizeof cases / sizeof *cases);
}

// Misspellings whose first proposal is not yet the word meant: a phonetic
// key proposes one word, and these share theirs with another word or stem
// to a word the site holds. Run with --gtest_also_run_disabled_tests; drop
// the DISABLED_ prefix when the proposals reach them.
TEST_F(RelevanceSite, DISABLED_MisspellingsAwaitingTheSpellingList) {
    const Misspelling cases[] = {
        {"chisles", "chisels"},      {"polarty", "polarity"},      {"extracton", "extraction"},
        {"protecion", "protection"}, {"decoratros", "decorators"}, {"generatros", "generators"},
    };
    expect_first_proposals(cases, sizeof cases / sizeof *cases);
}

}  // namespace

// Pages that all hold a phrase's words but not the phrase: the phrase check
// reads the page text of each, up to the seek budget the index's settings
// give a phrase, and must still reach the page that holds it, last of all.
class CommonWordsSite : public indexer_test::SiteTest {};

TEST_F(CommonWordsSite, PhraseIsFoundBehindManyPagesWithItsWords) {
    constexpr int kPages = 1200;  // pages with the words, each a page-text seek
    for (int i = 0; i < kPages; i++) {
        char name[32];
        snprintf(name, sizeof name, "notes/%04d.html", i);
        put(name, "<title>Note " + std::to_string(i) +
                      "</title><p>The hive holds frames of wax, and the bees fill them.</p>");
    }
    put("notes/9999-queen.html",
        "<title>The queen</title><p>The queen stays in the middle of the hive all winter.</p>");
    const std::string index = index_site({"--language", "english"});
    const std::string answer = search(index, "vesk_query=%22of+the+hive%22");
    EXPECT_TRUE(links_to(answer, "notes/9999-queen.html")) << answer;
    EXPECT_EQ(answer.find("common words"), std::string::npos);
}
