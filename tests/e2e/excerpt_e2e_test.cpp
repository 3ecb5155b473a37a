// End to end through the real binary: whole result pages whose blocks carry
// highlighted titles, descriptions and context excerpts, for words, phrases,
// wildcards and joined words, each in HTML and in XML (one golden file holds
// both responses; every XML answer must be well-formed).
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "support/index_files.h"
#include "support/run_program.h"

using testsupport::CgiResponse;
using testsupport::IndexSpec;
using testsupport::PageSpec;

namespace {

const char kTemplate[] =
    "<html><body>\n<!--VESK_SHOW_SUMMARY-->\n<!--VESK_SHOW_RESULTS-->\n</body></html>\n";
const char kXmlSeparator[] = "\n======== the same request in XML ========\n";

PageSpec page(const std::string &url, const std::string &title, const std::string &description,
              const std::string &text) {
    PageSpec p;
    p.url = url;
    p.title = title;
    p.description = description;
    p.words = testsupport::split_words(text);
    return p;
}

// Three pages about bees, with punctuation (an "&" among it, which XML must
// escape), variants, accents and a phrase that the second page holds only
// with other words between its words.
IndexSpec bee_index() {
    IndexSpec spec;
    spec.template_text = kTemplate;
    spec.settings.set_text("Charset", "UTF-8")
        .set("UseUTF8", 1)
        .set("AllowExactPhrase", 1)
        .set("MaxContextSeeks", 100)
        .set("MaxMatches", 1000)
        .set("MaxSearchTime", 30)
        .set("MinWordLen", 1)
        .set("DisplayContext", 1)
        .set("ContextSize", 16)
        .set("MaxContextKeywords", 3)
        .set("Highlighting", 1)
        .set("XMLHighlight", 1)
        .set("ToLowerSearchWords", 1)
        .set("DisplayTitle", 1)
        .set("DisplayMetaDesc", 1)
        .set("DisplayTerms", 1)
        .set("MaxResultsPerQuery", 100);
    spec.pages = {
        page("http://example.org/honey.html", "Honey bee keeping",
             "How a honey bee colony makes honey.",
             "The honey bee (Apis) is kept for honey, wax and pollination. A strong colony "
             "of honey bees fills twenty frames; the keeper takes the honey in summer. "
             "Crème of honey is sold at the market, and every honey bee visits flowers."),
        page("http://example.org/wax.html", "Wax and e-mail", "Rendering wax; questions by e-mail.",
             "Old comb gives wax & honey: the honey, then the bee wax is filtered. Send an "
             "e-mail for prices of bee wax."),
        page("http://example.org/hives.html", "Hives", "Hive types.",
             "A hive holds bees; hives come in many sizes. The honey bee lives in the hive."),
    };
    return spec;
}

class ExcerptE2E : public ::testing::Test {
   protected:
    void SetUp() override { dir_ = testsupport::make_temp_dir("excerpt-e2e"); }
    void TearDown() override { testsupport::remove_tree(dir_); }
    CgiResponse get(const std::string &query_string) {
        return testsupport::run_clean_get(dir_, query_string);
    }
    // The HTML and the XML answer to query_string; the XML must be well-formed.
    std::string both(const std::string &query_string) {
        const std::string html = get(query_string).out;
        const std::string xml = get(query_string + "&vesk_xml=1").out;
        const size_t body = xml.find("\n\n");
        EXPECT_NE(body, std::string::npos);
        EXPECT_EQ(testsupport::xml_errors(dir_, xml.substr(body + 2)), "") << xml;
        return html + kXmlSeparator + xml;
    }
    std::string dir_;
};

TEST_F(ExcerptE2E, ResultPagesWithExcerpts) {
    const struct {
        const char *golden;
        const char *query_string;
        std::function<void(IndexSpec &)> adjust;
    } cases[] = {
        {"excerpt_words.out", "vesk_query=honey+wax", nullptr},
        {"excerpt_phrase.out", "vesk_query=%22honey+bee%22", nullptr},
        {"excerpt_phrase_and_word.out", "vesk_query=%22honey+bee%22+wax", nullptr},
        {"excerpt_wildcard.out", "vesk_query=hive*", nullptr},
        {"excerpt_substring.out", "vesk_query=wax",
         [](IndexSpec &s) { s.settings.set("SearchAsSubstring", 1); }},
        {"excerpt_joined_word.out", "vesk_query=e-mail",
         [](IndexSpec &s) { s.settings.set_text("WordJoinChars", "-"); }},
        {"excerpt_accented_word.out", "vesk_query=cr%C3%A8me", nullptr},
        {"excerpt_no_xml_highlight.out", "vesk_query=%22honey+bee%22",
         [](IndexSpec &s) { s.settings.set("XMLHighlight", 0); }},
        // XMLHighlight still switches highlighting on for the XML answer.
        {"excerpt_no_highlighting.out", "vesk_query=honey",
         [](IndexSpec &s) { s.settings.set("Highlighting", 0); }},
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(test.golden);
        IndexSpec spec = bee_index();
        if (test.adjust) test.adjust(spec);
        testsupport::write_index(dir_, spec);
        EXPECT_EQ(testsupport::compare_golden(test.golden, both(test.query_string)), "");
    }
}

}  // namespace
