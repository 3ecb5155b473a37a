// End to end through the real binary: recommended links, the pages of the
// recommended list whose keywords match the query, above the results in HTML
// (the recommended section) and as <vesk:recommended> elements in XML.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "e2e/stage_fixture.h"
#include "support/index_files.h"
#include "support/run_program.h"

using testsupport::IndexSpec;
using testsupport::PageSpec;
using testsupport::RecommendedSpec;

namespace {

const char kSection[] = "recommended";
const char kHeading[] =
    "<div class=\"recommended\">\n<div class=\"recommended_heading\">Recommended links</div>\n";

// One page of the index as the tests expect to see it.
struct Page {
    const char *url, *title, *description, *image;
};
const Page kPages[] = {
    {"http://example.org/first.html", "First page", "About bees", "http://example.org/b.jpg"},
    {"http://example.org/guide.PDF", "Guide", "A guide to hives", ""},
    {"http://example.org/anchor.html?x=1#part2", "", "No title here", ""},
    {"http://example.org/last.html", "Last page", "The end", ""},
};

IndexSpec recommended_index(const std::vector<RecommendedSpec> &list) {
    IndexSpec spec;
    spec.template_text = stagetest::stage_template(kSection, "<!--VESK_SHOW_RECOMMENDED-->");
    spec.settings.set_text("Charset", "UTF-8").set("RecommendedMax", 10);
    for (const Page &p : kPages) {
        PageSpec page;
        page.url = p.url;
        page.title = p.title;
        page.description = p.description;
        page.image = p.image;
        page.words = testsupport::split_words("bees and honey");
        spec.pages.push_back(page);
    }
    spec.recommended = list;
    return spec;
}

// How a block shows its page: the link (the page URL when empty), the URL
// without its "#" fragment (GotoHighlight 1), the link target, the image.
struct Shown {
    std::string link;
    bool highlight = false;
    std::string target;
    bool image = false;
};

std::string html_block(int p, const Shown &shown = Shown()) {
    const Page &page = kPages[p];
    const std::string full = page.url;
    const std::string url = shown.highlight ? full.substr(0, full.find('#')) : full;
    const std::string anchor =
        "<a href=\"" + (shown.link.empty() ? full : shown.link) + "\" " + shown.target + ">";
    std::string out = "<div class=\"recommend_block\">\n";
    if (shown.image)
        out += "<div class=\"recommend_image\">" + anchor + "<img src=\"" + page.image +
               "\" alt=\"\" class=\"recommend_image\"></a></div>";
    return out + "<div class=\"recommend_title\">" + anchor +
           (page.title[0] != '\0' ? page.title : url) + "</a></div>\n" +
           "<div class=\"recommend_description\">" + page.description + "</div>\n" +
           "<div class=\"recommend_infoline\">" + url + "</div>\n</div>";
}

std::string recommended_section(const std::vector<std::string> &blocks) {
    if (blocks.empty()) return "";
    std::string out = kHeading;
    for (const std::string &b : blocks) out += b;
    return out + "</div>\n";
}

// The XML element of page p (no image element: UseVeskImage is 0 unless set).
std::string xml_block(int p, std::string link = "") {
    const Page &page = kPages[p];
    if (link.empty()) link = page.url;
    return std::string("<vesk:recommended>\n<title>") + page.title + "</title>\n<link>" + link +
           "</link>\n<description>" + page.description + "</description>\n</vesk:recommended>\n";
}

class RecommendedE2E : public stagetest::StageE2E {
   protected:
    std::string html(const std::string &query_string) { return section(kSection, query_string); }
    std::string xml(const std::string &query_string) {
        return xml_elements(query_string, "<vesk:recommended>", "</vesk:recommended>\n");
    }
};

struct Case {
    const char *name;
    std::vector<RecommendedSpec> list;
    const char *query_string;
    std::vector<int> pages;  // the pages shown, in order, with their plain links
    std::function<void(IndexSpec &)> change;
};

TEST_F(RecommendedE2E, MatchingEntriesShowTheirPages) {
    const Case cases[] = {
        {"a query word equals the keyword", {{"bees", 1}}, "vesk_query=bees", {1}, nullptr},
        {"no keyword matches", {{"wasps", 1}}, "vesk_query=bees", {}, nullptr},
        {"a comma list: one keyword matches",
         {{"wasps,,bees", 1}},
         "vesk_query=bees",
         {1},
         nullptr},
        {"a comma list: both keywords match, one link",
         {{"wasps,bees", 1}},
         "vesk_query=bees+wasps",
         {1},
         nullptr},
        {"the whole query equals the keyword",
         {{"honey bees", 3}},
         "vesk_query=honey+bees",
         {3},
         nullptr},
        {"a keyword pattern matches a query word",
         {{"be?s,hon*", 1}},
         "vesk_query=honey",
         {1},
         nullptr},
        {"a query pattern matches the keyword", {{"beeswax", 1}}, "vesk_query=bee*", {1}, nullptr},
        {"substring search finds the word inside the keyword",
         {{"beeswax", 1}},
         "vesk_query=swa",
         {1},
         [](IndexSpec &s) { s.settings.set("SearchAsSubstring", 1); }},
        {"case is ignored",
         {{"BEES", 1}},
         "vesk_query=bees",
         {1},
         [](IndexSpec &s) { s.settings.set("ToLowerSearchWords", 1); }},
        {"case counts", {{"BEES", 1}}, "vesk_query=bees", {}, nullptr},
        {"the same page twice in a row: one link; again after another page",
         {{"bees", 1}, {"bees", 1}, {"bees", 3}, {"bees", 1}},
         "vesk_query=bees",
         {1, 3, 1},
         nullptr},
        {"at most RecommendedMax links",
         {{"bees", 1}, {"bees", 3}, {"bees", 2}},
         "vesk_query=bees",
         {1, 3},
         [](IndexSpec &s) { s.settings.set("RecommendedMax", 2); }},
        {"RecommendedMax 0: no block at all",
         {{"bees", 1}},
         "vesk_query=bees",
         {},
         [](IndexSpec &s) { s.settings.set("RecommendedMax", 0); }},
        {"the first and the last page of the index",
         {{"bees", 0}, {"bees", 3}},
         "vesk_query=bees",
         {0, 3},
         nullptr},
        {"pages outside the index are passed over",
         {{"bees", 4}, {"bees", -1}, {"bees", 99999999999LL}, {"bees", 2}},
         "vesk_query=bees",
         {2},
         nullptr},
        {"an empty query word matches no keyword",
         {{"wax", 1}},
         "vesk_query=honey+%22",
         {},
         [](IndexSpec &s) { s.settings.set("SearchAsSubstring", 1).set("AllowExactPhrase", 1); }},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.name);
        spec_ = recommended_index(test.list);
        if (test.change) test.change(spec_);
        std::vector<std::string> blocks;
        std::string elements;
        for (int p : test.pages) {
            blocks.push_back(html_block(p));
            elements += xml_block(p);
        }
        EXPECT_EQ(html(test.query_string), recommended_section(blocks));
        EXPECT_EQ(xml(test.query_string), elements);
    }
}

struct LinkCase {
    const char *name;
    int page;
    const char *query_string;
    std::string link;
    std::function<void(IndexSpec &)> change;
};

TEST_F(RecommendedE2E, LinksWithHighlightAndPdfSearch) {
    const auto highlight = [](IndexSpec &s) { s.settings.set("GotoHighlight", 1); };
    const auto pdf = [](IndexSpec &s) {
        s.settings.set("GotoHighlight", 1).set("PdfHighlight", 1);
    };
    const LinkCase cases[] = {
        {"the highlight parameter", 0, "vesk_query=bees",
         "http://example.org/first.html?vesk_highlight=bees", highlight},
        {"substring search highlights substrings", 0, "vesk_query=bees",
         "http://example.org/first.html?vesk_highlightsub=bees",
         [](IndexSpec &s) { s.settings.set("GotoHighlight", 1).set("SearchAsSubstring", 1); }},
        {"the fragment moves behind the parameter", 2, "vesk_query=bees",
         "http://example.org/anchor.html?x=1&amp;vesk_highlight=bees#part2", highlight},
        {"a PDF page opens on a search for the query", 1, "vesk_query=bees",
         "http://example.org/guide.PDF#search=%22bees%22", pdf},
        {"the PDF search percent-encodes the query", 1, "vesk_query=honey+bees",
         "http://example.org/guide.PDF#search=%22honey%20bees%22", pdf},
        {"without PdfHighlight a PDF page keeps the highlight link", 1, "vesk_query=bees",
         "http://example.org/guide.PDF?vesk_highlight=bees", highlight},
    };
    for (const LinkCase &test : cases) {
        SCOPED_TRACE(test.name);
        spec_ = recommended_index({{"bees", test.page}, {"honey bees", test.page}});
        test.change(spec_);
        EXPECT_EQ(html(test.query_string),
                  recommended_section({html_block(test.page, Shown{test.link, true, "", false})}));
        EXPECT_EQ(xml(test.query_string), xml_block(test.page, test.link));
    }
}

TEST_F(RecommendedE2E, ImageAndLinkTarget) {
    spec_ = recommended_index({{"bees", 0}});
    spec_.settings.set("UseVeskImage", 1).set("UseLinkTarget", 1).set_text("LinkTarget", "_top");
    EXPECT_EQ(html("vesk_query=bees"),
              recommended_section({html_block(0, Shown{"", false, "target=\"_top\"", true})}));
    const std::string element = xml_block(0);
    EXPECT_EQ(xml("vesk_query=bees"),
              "<vesk:recommended>\n<vesk:imageURL>http://example.org/b.jpg</vesk:imageURL>" +
                  element.substr(element.find("<title>")));
}

// Index text in XML is character data whatever it holds.
TEST_F(RecommendedE2E, IndexTextIsEscapedInXml) {
    spec_ = recommended_index({{"bees", 0}});
    spec_.pages[0].title = "Bees & <wax>";
    spec_.pages[0].description = "A\x01 &amp; B";
    EXPECT_EQ(xml("vesk_query=bees"),
              "<vesk:recommended>\n<title>Bees &amp; &lt;wax></title>\n"
              "<link>http://example.org/first.html</link>\n"
              "<description>A &amp; B</description>\n</vesk:recommended>\n");
}

// A page URL and a query too long together for a link of a few thousand
// characters give the whole link.
TEST_F(RecommendedE2E, LongUrlAndQueryGiveTheWholeLink) {
    spec_ = recommended_index({{"bees", 0}});
    const std::string url = "http://example.org/" + std::string(2000, 'u') + ".html";
    const std::string words = std::string(2000, 'q');
    spec_.pages[0].url = url;
    spec_.settings.set("GotoHighlight", 1);
    const std::string link = url + "?vesk_highlight=bees+" + words;
    const std::string answer = html("vesk_query=bees+" + words);
    EXPECT_NE(answer.find("<a href=\"" + link + "\" >First page</a></div>\n"), std::string::npos)
        << answer.size();
    EXPECT_NE(answer.find("<div class=\"recommend_infoline\">" + url + "</div>\n</div></div>\n"),
              std::string::npos);
}

// A page whose page-data line lacks its fields ends the page with the
// corrupted-index message: nothing of the search follows it.
TEST_F(RecommendedE2E, DamagedPageDataEndsThePage) {
    spec_ = recommended_index({{"bees", 3}, {"bees", 1}});
    spec_.corrupt.page_data_line[1] = "http://example.org/broken.html|no more fields\n";
    const std::string out = get("vesk_query=bees") +
                            "\n======== the same request in XML ========\n" +
                            get("vesk_query=bees&vesk_xml=1");
    EXPECT_EQ(testsupport::compare_golden("recommended_damaged_page_data.out", out), "");
}

}  // namespace
