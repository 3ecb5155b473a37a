// Context excerpts in process: the runs around a result's hits, their
// spacing, the marks of terms and phrases in both output forms, and damaged
// page text.
#include <functional>
#include <string>
#include <vector>

#include "search/stage_fixture.h"
#include "support/run_program.h"

using searchtest::hl;
using searchtest::pages_index;
using searchtest::StageFixture;
using searchtest::tokens;
using testsupport::IndexSpec;

namespace {

const char kOpen[] = "<div class=\"context\">\n";
const char kClose[] = " <b>...</b></div>\n";
const char kRun[] = " <b>...</b> ";
const char kXmlOpen[] = "<vesk:context>";
const char kXmlClose[] = " ...</vesk:context>\n";
const char kCritical[] =
    "Critical error with pagetext file. Check that your files are from the same indexing "
    "session.";

std::string xhl(const std::string &word) {
    return "<vesk:highlight>" + word + "</vesk:highlight>";
}

std::function<void(IndexSpec &)> settings(std::vector<std::pair<const char *, long long>> keys) {
    return [keys](IndexSpec &spec) {
        for (const auto &key : keys) spec.settings.set(key.first, key.second);
    };
}

struct ExcerptCase {
    const char *name;
    std::vector<std::string> bodies;
    const char *query;
    uint32_t page;
    std::string expected;
    std::function<void(IndexSpec &)> adjust = nullptr;
    bool xml = false;
};

class ExcerptTest : public StageFixture {
   protected:
    // The excerpt of page's result after looking query up. HTML comes from
    // the results buffer, XML from standard output.
    std::string excerpt(const std::string &query, uint32_t page, bool xml) {
        EXPECT_TRUE(look_up(query)) << out_;
        const PageScore &score = run_.page_scores[page];
        SearchResult result{page, score.score, score.hits, {}};
        for (int k = 0; k < kPagePositionCount; k++) result.positions[k] = score.positions[k];
        c.g_xml_output = xml ? 1 : 0;
        c.g_result_buffer[0] = '\0';
        c.g_result_buffer_length = 0;
        testsupport::StdoutCapture capture;
        write_context_excerpt(c, run_, result, spec_.pages[page].title.c_str());
        const std::string out = capture.text();
        return xml ? out : results_buffer();
    }
    // Writes and loads the case's index.
    void load_case(const ExcerptCase &test) {
        std::vector<std::vector<std::string>> bodies;
        for (const std::string &body : test.bodies) bodies.push_back(tokens(body));
        IndexSpec spec = pages_index(bodies);
        if (test.adjust) test.adjust(spec);
        load(spec);
    }
    void check(const ExcerptCase &test) {
        SCOPED_TRACE(test.name);
        load_case(test);
        EXPECT_EQ(excerpt(test.query, test.page, test.xml), test.expected);
    }
};

TEST_F(ExcerptTest, RunsAroundTheHits) {
    const std::string swarm = "A swarm hangs (quietly) from the branch. Swarms move!";
    const ExcerptCase cases[] = {
        {"a hit nearer the file's start than the back-off starts the run",
         {swarm},
         "swarm",
         0,
         kOpen + std::string(kRun) + hl("swarm") +
             " hangs (quietly) from the branch. Swarms move!" + kClose},
        {"a boundary before the hit restarts the run, one after it ends it",
         {"x", "one two three four five six seven eight nine ten"},
         "three",
         1,
         kOpen + std::string(kRun) + "one two " + hl("three") +
             " four five six seven eight nine ten" + kClose},
        {"overlapping runs repeat no word",
         {"a b c apple d e apple f g h i j k l m n o p"},
         "apple",
         0,
         kOpen + std::string(kRun) + "a b c " + hl("apple") + " d e" + kRun + " f g h i j k" +
             kClose},
        {"runs after the third continue the text and stop at the page's end",
         {"x apple y apple z apple q apple r apple s t u v w"},
         "apple",
         0,
         kOpen + std::string(kRun) + "x " + hl("apple") + " y" + kRun + " z " + hl("apple") + " q" +
             kRun + " r " + hl("apple") + " s" + kRun + " u v w" + kClose,
         settings({{"MaxContextKeywords", 5}})},
        {"a first run equal to the title is not written; the next is trimmed",
         {"x", "Big red cars and more"},
         "red",
         1,
         kOpen + std::string(kRun) + "Big red cars" + kClose,
         [](IndexSpec &spec) {
             spec.pages[1].title = "Big red car";
             spec.settings.set("ContextSize", 6)
                 .set("MaxContextKeywords", 2)
                 .set("Highlighting", 0);
         }},
        {"every variant of the matched word is marked, and no run repeats the page's end",
         {"Swarm swarm SWARM"},
         "swarm",
         0,
         kOpen + std::string(kRun) + hl("Swarm") + " " + hl("swarm") + " " + hl("SWARM") + kClose},
        {"a hit at the end of the page-text file",
         {"x", "a b c d e f g h"},
         "h",
         1,
         kOpen + std::string(kRun) + "b c d e f g " + hl("h") + kClose,
         [](IndexSpec &spec) { spec.corrupt.pagetext_size_delta = -3; }},
        {"a later run before a run that read the last record is still written",
         {"x", "a b c d e f g h"},
         "h b",
         1,
         kOpen + std::string(kRun) + "g " + hl("h") + kRun + " a " + hl("b") + kClose,
         settings({{"ContextSize", 4}, {"MaxContextKeywords", 2}})},
        {"the same without the final boundary",
         {"x", "a b c d e f g h"},
         "h b",
         1,
         kOpen + std::string(kRun) + "g " + hl("h") + kRun + " a " + hl("b") + kClose,
         [](IndexSpec &spec) {
             spec.settings.set("ContextSize", 4).set("MaxContextKeywords", 2);
             spec.corrupt.pagetext_size_delta = -3;
         }},
        {"ContextSize 0 writes the opening and closing only",
         {swarm},
         "swarm",
         0,
         kOpen + std::string("</div>\n"),
         settings({{"ContextSize", 0}})},
        {"MaxContextKeywords 0 writes the opening and closing only",
         {swarm},
         "swarm",
         0,
         kOpen + std::string("</div>\n"),
         settings({{"MaxContextKeywords", 0}})},
        {"no marks without highlighting",
         {swarm},
         "swarm",
         0,
         kOpen + std::string(kRun) + "swarm hangs (quietly) from the branch. Swarms move!" + kClose,
         settings({{"Highlighting", 0}})},
        {"XML marks",
         {swarm},
         "swarm",
         0,
         kXmlOpen + std::string(" ... ") + xhl("swarm") +
             " hangs (quietly) from the branch. Swarms move!" + kXmlClose,
         nullptr,
         true},
        {"XML without XMLHighlight carries no tags",
         {swarm},
         "swarm",
         0,
         kXmlOpen + std::string(" ... ") + "swarm hangs (quietly) from the branch. Swarms move!" +
             kXmlClose,
         settings({{"XMLHighlight", 0}}),
         true},
        {"accented words in UTF-8",
         {"Crème brûlée and crème"},
         "crème",
         0,
         kOpen + std::string(kRun) + hl("Crème") + " brûlée and " + hl("crème") + kClose,
         settings({{"UseUTF8", 1}})},
        {"accented words in a single-byte character set",
         {"Cr\xe8me br\xfbl\xe9"
          "e and cr\xe8me"},
         "cr\xe8me",
         0,
         kOpen + std::string(kRun) + hl("Cr\xe8me") +
             " br\xfbl\xe9"
             "e and " +
             hl("cr\xe8me") + kClose},
    };
    for (const ExcerptCase &test : cases) check(test);
}

TEST_F(ExcerptTest, PhrasesAndTermsAreMarkedWithBalancedTags) {
    const ExcerptCase cases[] = {
        {"a phrase is one span",
         {"a big red car"},
         "\"big red\"",
         0,
         kOpen + std::string(kRun) + hl("big red") + " car" + kClose},
        {"punctuation inside a phrase",
         {"a big, red car"},
         "\"big red\"",
         0,
         kOpen + std::string(kRun) + hl("big, red") + " car" + kClose},
        {"a one-word phrase gets an ordinary mark",
         {"a big red car"},
         "\"big zebra\" car",
         0,
         kOpen + std::string(kRun) + "a " + hl("big") + " red " + hl("car") + kClose},
        {"overlapping matches of one phrase nest",
         {"very very very"},
         "\"very very\"",
         0,
         kOpen + std::string(kRun) + "<span class=\"highlight\">very " + hl("very") +
             " very</span>" + kClose},
        {"a term inside a phrase nests in it",
         {"big red car"},
         "\"big red car\" red",
         0,
         kOpen + std::string(kRun) + "<span class=\"highlight\">big " + hl("red") + " car</span>" +
             kClose},
        {"two phrases ending on one word",
         {"a big red car"},
         "\"big red car\" \"red car\"",
         0,
         kOpen + std::string(kRun) + "a <span class=\"highlight\">big " + hl("red car") +
             "</span>" + kClose},
        {"wildcard terms match the base word",
         {"hive hives honey"},
         "hiv*",
         0,
         kOpen + std::string(kRun) + hl("hive") + " " + hl("hives") + " honey" + kClose},
    };
    for (const ExcerptCase &test : cases) {
        check(test);
        // The same marks in XML must make well-formed XML.
        load_case(test);
        const std::string xml = excerpt(test.query, test.page, true);
        EXPECT_EQ(testsupport::xml_errors(dir_, "<r xmlns:vesk=\"urn:vesk\">" + xml + "</r>"), "")
            << test.name << ": " << xml;
    }
}

TEST_F(ExcerptTest, RunTextsGrowWithWhatTheyHold) {
    std::string words, marked;
    for (int i = 0; i < 300; i++) {
        words += " w" + std::to_string(i);
        marked += (i > 0 ? " " : "") + hl("w" + std::to_string(i));
    }
    const std::string long_word(3000, 'q');
    const ExcerptCase cases[] = {
        {"every word of a run marked",
         {"x", words},
         "w*",
         1,
         kOpen + std::string(kRun) + marked + kClose,
         settings({{"ContextSize", 1000}})},
        {"a dictionary word longer than a run used to hold",
         {"x", "a " + long_word + " b"},
         "a",
         1,
         kOpen + std::string(kRun) + hl("a") + " " + long_word + " b" + kClose},
    };
    for (const ExcerptCase &test : cases) check(test);
}

TEST_F(ExcerptTest, DamagedPageText) {
    IndexSpec spec = pages_index({tokens("a b c")});
    const uint32_t keywords = (uint32_t)testsupport::build_index(spec).words.size();
    const struct {
        const char *name;
        uint32_t id;
        std::string expected;
    } cases[] = {
        {"a record numbered NumKeywords is reported and left empty", keywords,
         kOpen + std::string(kCritical) + kRun + hl("a") + "  c" + kClose},
        {"a record numbered above NumKeywords is a boundary", keywords + 1,
         kOpen + std::string(kRun) + hl("a") + kClose},
        {"a word the dictionary file never filled shows empty", keywords + 2,
         kOpen + std::string(kRun) + hl("a") + "  c" + kClose},
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(test.name);
        spec.corrupt.pagetext_ids["b"] = test.id;
        // The settings promise more words than the dictionary file holds.
        if (test.id == keywords + 2) spec.corrupt.settings["NumKeywords"] = keywords + 5;
        load(spec);
        EXPECT_EQ(excerpt("a", 0, false), test.expected);
    }
}

TEST_F(ExcerptTest, NoExcerptWithoutDisplayContextOrForAMetaOnlySearch) {
    IndexSpec spec = pages_index({tokens("a b c")});
    spec.settings.set("DisplayContext", 0);
    load(spec);
    EXPECT_EQ(excerpt("a", 0, false), "");
    spec.settings.set("DisplayContext", 1);
    load(spec);
    c.g_meta_only_search = 1;
    SearchResult result{0, 1, 1, {12, 0, 0}};
    write_context_excerpt(c, run_, result, "");
    EXPECT_EQ(results_buffer(), "");
}

}  // namespace
