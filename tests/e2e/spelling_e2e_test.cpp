// End to end through the real binary: spelling suggestions for query words
// that are rare in the index, from the phonetic keys of the spelling list, in
// HTML (the "did you mean" links of the suggestion section) and in XML.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "context/context.h"
#include "e2e/stage_fixture.h"
#include "support/index_files.h"
#include "support/run_program.h"

using testsupport::IndexSpec;
using testsupport::PageSpec;

namespace {

const char kSection[] = "suggestion";
const char kLink[] = "<a href=\"/search?vesk_query=";

// Words and their record counts, chosen by their phonetic keys:
//   KLR  colour 3, color 2, caller 1     (a line with three candidates)
//   NT   night 2, Knight 1 (a variant)   KRTN garden 1     HN Honey 1 (a variant)
//   PS   bees 4     K c++ 3     RT r&d 1     HP happy 2, hop 1
// and "<<<<<<<<" 2 (no key), which request text keeps as it is.
IndexSpec spelling_index() {
    IndexSpec spec;
    spec.template_text = stagetest::stage_template(kSection, "<!--VESK_SHOW_SUGGESTION-->");
    spec.spelling = true;
    spec.settings.set_text("Charset", "UTF-8")
        .set_text("LinkBackURL", "/search")
        .set("SpellingWhenLessThan", 2)
        .set("MaxMatches", 100000);
    PageSpec first;
    first.url = "paint.html";
    first.title = "Paint";
    first.words = {"colour", "colour", "color",  "color", "caller", "bees", "bees",
                   "night",  "night",  "garden", "c++",   "c++",    "r&d"};
    PageSpec second;
    second.url = "bees.html";
    second.title = "Honey";
    second.words = {"bees",  "bees", "Knight",   "c++",     "happy",
                    "happy", "hop",  "<<<<<<<<", "<<<<<<<<"};
    spec.pages = {first, second};
    return spec;
}

// One "did you mean" link of the default request (10 per page, sort 0).
std::string link(const std::string &query, int match_all, const std::string &text) {
    return kLink + query + "&amp;vesk_per_page=10&amp;vesk_and=" + std::to_string(match_all) +
           "&amp;vesk_sort=0\">" + text + "</a>";
}

std::string block(const std::string &links) {
    return "<div class=\"suggestion\"><br />Did you mean: " + links + "?</div>";
}

class SpellingE2E : public stagetest::StageE2E {
   protected:
    void SetUp() override {
        StageE2E::SetUp();
        spec_ = spelling_index();
    }
    std::string suggestion(const std::string &query_string) {
        return section(kSection, query_string);
    }
    std::string xml_spelling(const std::string &query_string) {
        return xml_elements(query_string, "<vesk:spelling>", "\n");
    }
};

struct Case {
    const char *name;
    const char *query_string;
    std::string html;  // the suggestion section
    std::string xml;   // the <vesk:spelling> lines
    std::function<void(IndexSpec &)> change;
};

TEST_F(SpellingE2E, SuggestionsInHtmlAndXml) {
    const std::string or_ = " or ";
    const Case cases[] = {
        {"one word, three candidates: the others keep the match mode",
         "vesk_query=culler&vesk_and=1",
         block(link("colour", 0, "colour") + or_ + link("color", 1, "color") + or_ +
               link("caller", 1, "caller")),
         "<vesk:spelling>colour</vesk:spelling>\n<vesk:spelling>color</vesk:spelling>\n"
         "<vesk:spelling>caller</vesk:spelling>\n",
         nullptr},
        {"a candidate equal to the word is passed over; the third follows the second",
         "vesk_query=colour", block(link("color", 0, "color") + or_ + link("caller", 0, "caller")),
         "<vesk:spelling>color</vesk:spelling>\n<vesk:spelling>caller</vesk:spelling>\n",
         [](IndexSpec &s) { s.settings.set("SpellingWhenLessThan", 4); }},
        {"a second proposal equal to the word is left out", "vesk_query=color",
         block(link("colour", 0, "colour") + or_ + link("caller", 0, "caller")),
         "<vesk:spelling>colour</vesk:spelling>\n<vesk:spelling>caller</vesk:spelling>\n",
         [](IndexSpec &s) { s.settings.set("SpellingWhenLessThan", 3); }},
        {"a common word stays, the rare one is replaced", "vesk_query=bees+gardin",
         block(link("bees+garden", 0, "bees garden")),
         "<vesk:spelling>bees garden</vesk:spelling>\n", nullptr},
        {"two rare words: one link, no further proposals", "vesk_query=gardin+culler",
         block(link("garden+colour", 0, "garden colour")),
         "<vesk:spelling>garden colour</vesk:spelling>\n", nullptr},
        {"a rare word without a candidate is dropped", "vesk_query=gardin+xyzzy",
         block(link("garden", 0, "garden")), "<vesk:spelling>garden</vesk:spelling>\n", nullptr},
        {"only candidates equal to the word: no suggestion", "vesk_query=garden", "", "", nullptr},
        {"every word common: no suggestion", "vesk_query=bees+colour", "", "", nullptr},
        {"no record for the key: no suggestion", "vesk_query=xyzzy", "", "", nullptr},
        {"a word with a variant is proposed as its variant", "vesk_query=hony",
         block(link("Honey", 0, "Honey")), "<vesk:spelling>Honey</vesk:spelling>\n", nullptr},
        {"the most frequent word of the key first", "vesk_query=nite",
         block(link("night", 0, "night") + or_ + link("Knight", 0, "Knight")),
         "<vesk:spelling>night</vesk:spelling>\n<vesk:spelling>Knight</vesk:spelling>\n", nullptr},
        {"an exclusion keeps its minus in every proposal", "vesk_query=-nite",
         block(link("-night", 0, "-night") + or_ + link("-Knight", 0, "-Knight")),
         "<vesk:spelling>-night</vesk:spelling>\n<vesk:spelling>-Knight</vesk:spelling>\n",
         nullptr},
        {"an exclusion keeps its minus", "vesk_query=bees+-gardin",
         block(link("bees+-garden", 0, "bees -garden")),
         "<vesk:spelling>bees -garden</vesk:spelling>\n", nullptr},
        {"reserved bytes of a query word are percent-encoded", "vesk_query=c%2B%2B+gardin",
         block(link("c%2B%2B+garden", 0, "c++ garden")),
         "<vesk:spelling>c++ garden</vesk:spelling>\n", nullptr},
        {"index text is escaped in the text and encoded in the link", "vesk_query=rd",
         block(link("r%26d", 0, "r&#38;d")), "<vesk:spelling>r&amp;d</vesk:spelling>\n", nullptr},
        {"request text is escaped in the text", "vesk_query=%3C%3C%3C%3C%3C%3C%3C%3C+gardin",
         block(link("%3C%3C%3C%3C%3C%3C%3C%3C+garden", 0,
                    "&#60;&#60;&#60;&#60;&#60;&#60;&#60;&#60; garden")),
         "<vesk:spelling>&lt;&lt;&lt;&lt;&lt;&lt;&lt;&lt; garden</vesk:spelling>\n", nullptr},
        {"stemming: the key of the stem, candidates compared as stems", "vesk_query=happiness",
         block(link("hop", 0, "hop")), "<vesk:spelling>hop</vesk:spelling>\n",
         [](IndexSpec &s) { s.settings.set("UseStemming", 1).set("StemmingAlgo", 2); }},
        {"spelling off", "vesk_query=gardin", "", "",
         [](IndexSpec &s) { s.corrupt.settings["Spelling"] = 0; }},
        {"ids the dictionary never filled are passed over", "vesk_query=gardin",
         block(link("garden", 0, "garden")), "<vesk:spelling>garden</vesk:spelling>\n",
         [](IndexSpec &s) {
             const testsupport::IndexFiles files = testsupport::build_index(s);
             const long long count = (long long)files.words.size();
             s.corrupt.settings["NumKeywords"] = count + 10;
             s.corrupt.spelling_ids["KRTN"] = {0, count + 5, files.word_ids.at("garden")};
         }},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.name);
        spec_ = spelling_index();
        if (test.change) test.change(spec_);
        EXPECT_EQ(suggestion(test.query_string), test.html);
        EXPECT_EQ(xml_spelling(test.query_string), test.xml);
    }
}

// The link carries the request's other parameters in the order of every
// self-link; categories and page number do not change the suggestion.
TEST_F(SpellingE2E, LinkCarriesPerPageAndSortOrder) {
    EXPECT_EQ(suggestion("vesk_query=gardin&vesk_per_page=20&vesk_sort=2&vesk_page=3"),
              block(kLink + std::string("garden&amp;vesk_per_page=20&amp;vesk_and=0&amp;"
                                        "vesk_sort=2\">garden</a>")));
}

// A suggestion whose link and text pass what one formatted print carries is
// written whole, and the markup after it stays intact.
TEST_F(SpellingE2E, LongSuggestionIsNeverCut) {
    std::string encoded, text;
    for (int i = 0; i < 200; i++) {
        encoded += "%3C%3C%3C%3C%3C%3C%3C%3C+";
        text += "&#60;&#60;&#60;&#60;&#60;&#60;&#60;&#60; ";
    }
    const std::string html = suggestion("vesk_query=" + encoded + "gardin");
    const std::string expected = block(link(encoded + "garden", 0, text + "garden"));
    EXPECT_GT(expected.size(), (size_t)kFormatBufferSize);
    EXPECT_TRUE(html == expected) << "written " << html.size() << " of " << expected.size()
                                  << " characters; ends with " << html.substr(html.size() - 40);
}

TEST_F(SpellingE2E, WholeAnswerGolden) {
    std::string out = get("vesk_query=culler&vesk_and=1") +
                      "\n======== the same request in XML ========\n" +
                      get("vesk_query=culler&vesk_and=1&vesk_xml=1");
    EXPECT_EQ(testsupport::compare_golden("spelling_three_candidates.out", out), "");
}

}  // namespace
