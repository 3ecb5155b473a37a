// End to end through the real binary: whole result pages, each request once
// as HTML and once as XML (RSS), on indexes written by the test writer. The
// golden files pin every byte of the frame, the links and the blocks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/index_files.h"
#include "support/index_writer.h"
#include "support/run_program.h"

using testsupport::IndexSpec;
using testsupport::MetaFieldSpec;
using testsupport::MetaValueSpec;
using testsupport::PageSpec;

namespace {

const char kXmlSeparator[] = "\n======== the same request in XML ========\n";
const char kTemplate[] =
    "<html><head><title>Results</title></head>\n"
    "<body>\n"
    "<!--VESKSEARCH-->\n"
    "</body></html>\n";
constexpr uint32_t kFirstDate = 1609502400;  // 1 January 2021, 12:00 UTC
constexpr uint32_t kWeek = 7 * 86400;
constexpr int kNotes = 25;

// Settings that show every part of a result block.
void show_everything(testsupport::SettingsSpec &s) {
    s.set_text("Charset", "UTF-8").set("UseUTF8", 1).set("FormFormat", 1).set("VeskInfo", 1);
    for (const char *key :
         {"DisplayNumber", "DisplayTitle", "DisplayTerms", "DisplayScore", "DisplayDate",
          "DisplayFilesize", "DisplayURL", "DisplayMetaDesc", "DisplayMetaFields", "UseVeskImage",
          "UseDateTime", "DisplayCatSummary"})
        s.set(key, 1);
    s.set("MaxResultsPerQuery", 1000).set("MinWordLen", 2);
    s.texts["STR_RESULT_PAGES_PREVIOUS"] = "Previous";
    s.texts["STR_RESULT_PAGES_NEXT"] = "Next";
}

// kNotes pages on three hosts: "bee" on every page (fewer times on later
// pages), "honey" on every fourth, "wax" on two; dates out of page order.
IndexSpec bee_notes() {
    IndexSpec spec;
    show_everything(spec.settings);
    spec.categories = {"Hive care", "Honey & wax", "Bee biology"};
    spec.common_words = {"the"};
    const char *const hosts[] = {"alpha.example", "beta.example", "gamma.example"};
    for (int i = 0; i < kNotes; i++) {
        PageSpec page;
        page.url =
            std::string("http://") + hosts[i % 3] + "/notes/note-" + std::to_string(i) + ".html";
        page.title = "Note " + std::to_string(i) + " on bees";
        page.description = i % 5 == 0 ? "A &quot;short&quot; note &amp; more" : "ok";
        page.image = i == 0 ? "http://alpha.example/img/bee.png" : "";
        page.date = kFirstDate + (uint32_t)((i * 7) % kNotes) * kWeek;
        page.size = 300 + (uint32_t)i * 1000;
        page.categories = {i % 3};
        if (i % 4 == 0) page.categories.push_back(1);
        std::string text = "the hive";
        for (int k = 0; k < kNotes - i; k++) text += " bee";
        if (i % 4 == 0) text += " honey";
        if (i == 3 || i == 7) text += " wax";
        page.words = testsupport::split_words(text);
        spec.pages.push_back(page);
    }
    return spec;
}

// One page per meta-field type combination, for blocks and links.
IndexSpec meta_notes() {
    IndexSpec spec;
    show_everything(spec.settings);
    spec.settings.set_text("MetaMoneyCurrency", "&#36;");
    spec.meta_fields = {
        MetaFieldSpec{0, "year", "Year", "Year", 4, {}, -1},
        MetaFieldSpec{1, "author", "Author", "Author", 5, {}, -1},
        MetaFieldSpec{2, "season", "Season", "Season", 0, {"Spring", "Summer", "Autumn"}, -1},
        MetaFieldSpec{3, "tags", "Tags", "Tags", 0, {"tools", "food", "health"}, -1},
        MetaFieldSpec{4, "price", "Price", "Price", 2, {}, -1},
        MetaFieldSpec{7, "odd", "Odd", "Odd", 0, {}, -1},
    };
    PageSpec full;
    full.url = "http://example.org/full.html";
    full.title = "Every value";
    full.date = kFirstDate;
    full.size = 500;
    full.meta = {MetaValueSpec::of_number(2021),   MetaValueSpec::of_text("Ann <Bee> & \"Co\""),
                 MetaValueSpec::of_option(1),      MetaValueSpec::of_options({0, 9, 2}),
                 MetaValueSpec::of_number(123456), MetaValueSpec::of_number(4000000000u)};
    full.words = testsupport::split_words("bee keeping");
    PageSpec empty;
    empty.url = "http://example.org/empty.html";
    empty.title = "No values";
    empty.meta = {MetaValueSpec::none(),       MetaValueSpec::of_text(""),
                  MetaValueSpec::of_option(7), MetaValueSpec::of_options({}),
                  MetaValueSpec::none(),       MetaValueSpec::none()};
    empty.words = testsupport::split_words("bee");
    PageSpec other = full;
    other.url = "http://example.org/other.html";
    other.title = "Other values";
    other.date = kFirstDate + kWeek;
    other.meta = {MetaValueSpec::of_number(2022), MetaValueSpec::of_text("Bob & \"Co\""),
                  MetaValueSpec::of_option(0),    MetaValueSpec::of_options({2}),
                  MetaValueSpec::of_number(99),   MetaValueSpec::none()};
    spec.pages = {full, empty, other};
    return spec;
}

class ResultPageE2E : public ::testing::Test {
   protected:
    void SetUp() override { dir_ = testsupport::make_temp_dir("results"); }
    void TearDown() override { testsupport::remove_tree(dir_); }

    void write(IndexSpec spec) {
        if (spec.template_text.empty()) spec.template_text = kTemplate;
        testsupport::write_index(dir_, spec);
    }
    std::string get(const std::string &query_string) {
        return testsupport::run_clean_get(dir_, query_string).out;
    }
    // The HTML page and the XML answer of the same request, in one golden file.
    void expect_golden(const std::string &name, const std::string &query_string) {
        SCOPED_TRACE(name);
        std::string html = get(query_string);
        std::string xml = get(query_string + "&vesk_xml=1");
        EXPECT_EQ(testsupport::compare_golden(name, html + kXmlSeparator + xml), "");
        EXPECT_EQ(testsupport::xml_errors(dir_, xml.substr(xml.find("\n\n") + 2)), "");
    }
    std::string dir_;
};

TEST_F(ResultPageE2E, OneWord) {
    write(bee_notes());
    expect_golden("result_one_word.out", "vesk_query=honey");
}

// 25 pages of one result each: the window of page numbers at both edges.
TEST_F(ResultPageE2E, PageWindowAtItsEdges) {
    IndexSpec spec = bee_notes();
    spec.settings.set("DisplayCatSummary", 0);
    write(spec);
    expect_golden("result_pages_first.out", "vesk_query=bee&vesk_per_page=1");
    expect_golden("result_pages_middle.out", "vesk_query=bee&vesk_per_page=1&vesk_page=13");
    expect_golden("result_pages_last.out", "vesk_query=bee&vesk_per_page=1&vesk_page=25");
    expect_golden("result_page_past_last.out", "vesk_query=honey&vesk_page=5");
}

TEST_F(ResultPageE2E, EachSortOrder) {
    write(bee_notes());
    for (const char *order : {"0", "1", "2"})
        expect_golden(std::string("result_sort_") + order + ".out",
                      std::string("vesk_query=bee&vesk_per_page=4&vesk_page=2&vesk_sort=") + order);
}

TEST_F(ResultPageE2E, CategoriesWithCheckBoxesAndDropDown) {
    IndexSpec spec = bee_notes();
    spec.settings.set("FormFormat", 2).set("SearchMultiCats", 1);
    write(spec);
    expect_golden("result_categories_all.out", "vesk_query=honey");
    expect_golden("result_categories_checked.out",
                  "vesk_query=honey&vesk_cat%5B%5D=2&vesk_cat%5B%5D=1&vesk_cat%5B%5D=9");
    spec.settings.set("SearchMultiCats", 0);
    write(spec);
    expect_golden("result_categories_dropdown.out", "vesk_query=honey&vesk_cat=1");
}

TEST_F(ResultPageE2E, EveryMetaFieldTypeInBlocksAndLinks) {
    IndexSpec spec = meta_notes();
    write(spec);
    expect_golden("result_meta_fields.out", "vesk_query=bee&vesk_per_page=1");
    expect_golden("result_meta_links.out",
                  "vesk_query=bee&vesk_per_page=1&author=%26+%22Co%22&tags%5B%5D=2&tags%5B%5D=0"
                  "&year=2000");
    spec.settings.set("MetaMoneyShowDec", 1);
    write(spec);
    expect_golden("result_meta_money_decimals.out", "vesk_query=keeping");
}

TEST_F(ResultPageE2E, DateRange) {
    IndexSpec spec = bee_notes();
    spec.settings.set("DateRangeSearch", 1).set("DisplayCatSummary", 0);
    write(spec);
    expect_golden("result_date_range.out",
                  "vesk_query=bee&vesk_per_page=3&vesk_datefrom=1/2/2021&vesk_dateto=30/4/2021");
}

TEST_F(ResultPageE2E, SkippedWordsAndSuggestions) {
    write(bee_notes());
    expect_golden("result_skipped_words.out", "vesk_query=the+x+wax");
    expect_golden("result_any_terms_suggestion.out", "vesk_query=wax+honey&vesk_and=1");
    expect_golden("result_all_categories_suggestion.out", "vesk_query=wax&vesk_cat=2");
}

TEST_F(ResultPageE2E, TruncatedUrlsPdfLinksAndPlugInTargets) {
    IndexSpec spec;
    show_everything(spec.settings);
    spec.settings.set("TruncateShowURL", 23).set("PdfHighlight", 1).set("GotoHighlight", 1);
    spec.settings.set("PluginOpenNewWindow", 1).set("FileTypePluginStart", 4);
    spec.settings.set("UseLinkTarget", 1).set_text("LinkTarget", "results");
    const char *const urls[] = {
        "http://example.org/guides/Hive-Manual.PDF", "http://example.org/a/b?id=7&amp;x=1",
        "http://example.org/caf\xC3\xA9/\xC3\xA9t\xC3\xA9.html", "short.html"};
    for (int i = 0; i < 4; i++) {
        PageSpec page;
        page.url = urls[i];
        page.title = "Guide " + std::to_string(i);
        page.file_type = i == 0 ? 4 : 0;
        page.words = testsupport::split_words(std::string(4 - i, 'x') + " hive bee");
        spec.pages.push_back(page);
    }
    write(spec);
    expect_golden("result_links.out", "vesk_query=hive+bee");
    spec.settings.set("SearchAsSubstring", 1);
    write(spec);
    expect_golden("result_links_substring.out", "vesk_query=hive");
}

TEST_F(ResultPageE2E, DomainDiversityOnTheFirstPage) {
    IndexSpec spec;
    show_everything(spec.settings);
    spec.settings.set("UseDomainDiversity", 1);
    const char *const hosts[] = {"one.example", "one.example", "one.example",   "one.example",
                                 "two.example", "one.example", "three.example", "two.example"};
    for (int i = 0; i < 8; i++) {
        PageSpec page;
        page.url = std::string("http://") + hosts[i] + "/p" + std::to_string(i) + ".html";
        page.title = "Page " + std::to_string(i);
        std::string text;
        for (int k = 0; k < 10 - i; k++) text += " bee";
        page.words = testsupport::split_words(text);
        spec.pages.push_back(page);
    }
    write(spec);
    expect_golden("result_diversity_page1.out", "vesk_query=bee&vesk_per_page=4");
    expect_golden("result_diversity_page2.out", "vesk_query=bee&vesk_per_page=4&vesk_page=2");
}

// Request text reaches the page only escaped, and the XML answer stays
// well-formed whatever the query holds.
TEST_F(ResultPageE2E, HostileQuery) {
    write(bee_notes());
    expect_golden("result_hostile_query.out",
                  "vesk_query=bee+%22%3E%3Cscript%3Ealert(1)%3C/script%3E+%FF%C3+%26amp%3B");
}

// The addresses of the results of an answer, in order: the result-title
// links of an HTML page, the item links of an XML answer (both without the
// highlight parameters they may carry).
std::vector<std::string> result_links(const std::string &answer, bool xml) {
    const std::string open = xml ? "<item>" : "<div class=\"result_title\">";
    const std::string link = xml ? "<link>" : "<a href=\"";
    std::vector<std::string> links;
    for (size_t at = answer.find(open); at != std::string::npos; at = answer.find(open, at + 1)) {
        size_t start = answer.find(link, at) + link.size();
        size_t end = answer.find_first_of(xml ? "<?&" : "\"?&", start);
        links.push_back(answer.substr(start, end - start));
    }
    return links;
}

// A query with control bytes finds the same pages as a page and as XML, and
// the XML answer stays well-formed.
TEST_F(ResultPageE2E, ControlBytesSearchTheSameInBothModes) {
    write(bee_notes());
    struct Case {
        const char *query;
        bool finds;
    };
    const Case cases[] = {
        {"bee%01%FF", false},   {"bee%01", false},          {"%01bee", false},
        {"honey%1Fwax", false}, {"bee+%01%02+honey", true}, {"%22bee%01honey%22", false},
        {"honey+%7F", true},    {"%0Bhoney+%0C", false},
    };
    for (const Case &c : cases) {
        const std::string query_string = std::string("vesk_query=") + c.query;
        const std::string html = get(query_string);
        const std::string xml = get(query_string + "&vesk_xml=1");
        const std::vector<std::string> pages = result_links(html, false);
        EXPECT_EQ(result_links(xml, true), pages) << c.query;
        EXPECT_EQ(!pages.empty(), c.finds) << c.query;
        EXPECT_EQ(testsupport::xml_errors(dir_, xml.substr(xml.find("\n\n") + 2)), "") << c.query;
    }
}

}  // namespace
