// End to end through the real binary: the page head, the search form in each
// layout, the XML head, the early ends of a page, the template's markers, the
// settings echo, and autocomplete.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>

#include "context/xml_text.h"
#include "support/index_files.h"
#include "support/index_writer.h"
#include "support/run_program.h"

using testsupport::CgiRequest;
using testsupport::CgiResponse;
using testsupport::MetaFieldSpec;

namespace {

// Every marker once, two on one line, an unknown marker, and no line end at the end.
const char kAllMarkersTemplate[] =
    "<html><head><title>All markers</title></head>\n"
    "<body>\n"
    "[form]<!--VESK_SHOW_SEARCHFORM-->[/form]\n"
    "start<!--VESK_SHOW_FORMSTART-->|end<!--VESK_SHOW_FORMEND-->|\n"
    "box<!--VESK_SHOW_SEARCHBOX-->button<!--VESK_SHOW_SEARCHBUTTON-->\n"
    "perpage<!--VESK_SHOW_RESULTSPERPAGE-->match<!--VESK_SHOW_MATCHOPTIONS-->\n"
    "cats<!--VESK_SHOW_CATEGORIES-->meta<!--VESK_SHOW_CUSTOMMETAOPTIONS-->\n"
    "heading<!--VESK_SHOW_HEADING-->summary<!--VESK_SHOW_SUMMARY-->\n"
    "suggestion<!--VESK_SHOW_SUGGESTION-->count<!--VESK_SHOW_PAGESCOUNT-->\n"
    "sorting<!--VESK_SHOW_SORTING-->time<!--VESK_SHOW_SEARCHTIME-->\n"
    "recommended<!--VESK_SHOW_RECOMMENDED-->pages<!--VESK_SHOW_PAGENUMBERS-->\n"
    "catsummary<!--VESK_SHOW_CATSUMMARY-->scripts<!--VESK_SHOW_JAVASCRIPTS-->\n"
    "daterange<!--VESK_SHOW_DATERANGE-->\n"
    "results[<!--VESK_SHOW_RESULTS-->]\n"
    "query[<!--VESK_SHOW_QUERY-->]\n"
    "unknown <!--VESK_SHOW_NOTHING--> rest of line <!--VESK_SHOW_QUERY-->\n"
    "<!--VESKSEARCH--></body></html>";

const char kQueryTemplate[] = "<html><head></head><body>[<!--VESK_SHOW_QUERY-->]</body></html>\n";

class PageE2E : public ::testing::Test {
   protected:
    void SetUp() override {
        dir_ = testsupport::make_temp_dir("page");
        spec_ = testsupport::default_settings();
        spec_.set_text("Charset", "UTF-8");
        spec_.set_text("Version", "5.0");
        spec_ = testsupport::write_empty_index(dir_, spec_);
        testsupport::write_file(dir_, "search_template.html", kAllMarkersTemplate);
    }
    void TearDown() override { testsupport::remove_tree(dir_); }
    CgiResponse get(const std::string &query_string) {
        testsupport::write_settings(dir_, spec_);
        return testsupport::run_clean_get(dir_, query_string);
    }
    void expect_golden(const std::string &name, const std::string &query_string) {
        EXPECT_EQ(testsupport::compare_golden(name, get(query_string).out), "");
    }
    // The query as the page echoes it at <!--VESK_SHOW_QUERY-->.
    std::string echoed_query(const std::string &query_string) {
        testsupport::write_file(dir_, "search_template.html", kQueryTemplate);
        std::string out = get(query_string).out;
        size_t open = out.find("<body>[");
        size_t close = out.rfind("]</body>");
        if (open == std::string::npos || close == std::string::npos) return "<no echo>";
        return out.substr(open + 7, close - open - 7);
    }
    // Parses an XML response body with xmllint; "" when well-formed.
    std::string xmllint(const std::string &response) {
        return testsupport::xml_errors(dir_, response.substr(response.find("\n\n") + 2));
    }
    void use_categories() {
        spec_.set("UseCats", 1).set("NumCats", 3);
        spec_.categories = {"News", "Sport & <Games>", "Weather"};
    }
    void use_meta_fields() {
        spec_.set("UseMetaFields", 1).set("NumMetaFields", 5);
        spec_.meta_fields = {
            MetaFieldSpec{0, "year", "Year", "Year", 4, {}, -1},
            MetaFieldSpec{1, "author", "Author", "Author", 5, {}, -1},
            MetaFieldSpec{2, "colour", "Colour", "Colour", 0, {"red", "green", "blue"}, -1},
            MetaFieldSpec{3, "size", "Size", "Sizes", 0, {"S", "M", "L"}, -1},
            MetaFieldSpec{4, "price", "Price", "Max price", 2, {}, -1},
        };
    }
    std::string dir_;
    testsupport::SettingsSpec spec_;
};

TEST_F(PageE2E, TemplateMarkersWithoutAForm) {
    expect_golden("template_no_form.out", "vesk_query=");
}

TEST_F(PageE2E, BasicForm) {
    spec_.set("FormFormat", 1);
    expect_golden("form_basic.out", "vesk_per_page=20&vesk_and=1&vesk_sort=2");
}

TEST_F(PageE2E, AdvancedFormWithDropDownCategoriesAndMetaFields) {
    spec_.set("FormFormat", 2);
    use_categories();
    use_meta_fields();
    expect_golden("form_advanced_dropdown.out",
                  "vesk_query=&vesk_cat[]=2&vesk_cat[]=1&year=%3C1999%3E&author=Ann+%26+Bob"
                  "&colour=1&size[]=0&size[]=2&price=%2210%22");
}

TEST_F(PageE2E, AdvancedFormWithCheckBoxesAndDateRange) {
    spec_.set("FormFormat", 2).set("SearchMultiCats", 1).set("DateRangeSearch", 1);
    spec_.set("DateRangeFormat", 1);
    use_categories();
    expect_golden("form_advanced_checkboxes.out",
                  "vesk_query=&vesk_cat%5B%5D=2&vesk_cat%5B%5D=0&vesk_datefrom=%22%3E%3Cb%3E"
                  "&vesk_dateto=2024-01-31");
}

// A meta text value of 20,000 escaped characters (4,000 "&#38;") arrives whole:
// its attribute keeps the closing quote and the next field stays an element.
TEST_F(PageE2E, LongMetaTextValueKeepsTheFormWellFormed) {
    spec_.set("FormFormat", 2).set("UseMetaFields", 1).set("NumMetaFields", 2);
    spec_.meta_fields = {
        MetaFieldSpec{1, "author", "Author", "Author", 5, {}, -1},
        MetaFieldSpec{1, "title", "Title", "Title", 5, {}, -1},
    };
    testsupport::write_file(dir_, "search_template.html",
                            "<html><body><!--VESK_SHOW_CUSTOMMETAOPTIONS--></body></html>\n");
    std::string ampersands;
    for (int i = 0; i < 4000; i++) ampersands += "%26";
    CgiResponse response = get("author=" + ampersands + "&title=x");
    EXPECT_EQ(testsupport::compare_golden("form_long_meta_value.out", response.out), "");
    EXPECT_EQ(xmllint(response.out), "");
}

// The drop-down's selected option is the request value read like atoi, and a
// value past the 32-bit range saturates instead of wrapping onto an option.
TEST_F(PageE2E, DropDownSelectionReadsTheValueLikeAtoi) {
    spec_.set("FormFormat", 2).set("UseMetaFields", 1).set("NumMetaFields", 1);
    spec_.meta_fields = {MetaFieldSpec{2, "colour", "Colour", "Colour", 0, {"red", "green"}, -1}};
    testsupport::write_file(dir_, "search_template.html", "<!--VESK_SHOW_CUSTOMMETAOPTIONS-->");
    const struct {
        const char *value;
        const char *selected;  // the selected option's value, "" for none
    } cases[] = {
        {"1", "1"}, {"+1", "1"}, {"%20%091xyz", "1"}, {"0", "0"},         {"abc", "0"},
        {"", ""},   {"-1", ""},  {"4294967297", ""},  {"4294967296", ""}, {"-4294967295", ""},
    };
    for (const auto &row : cases) {
        std::string out = get(std::string("colour=") + row.value).out;
        std::string selected;
        for (const char *option : {"0", "1"})
            if (out.find("value=\"" + std::string(option) + "\" selected") != std::string::npos)
                selected += option;
        EXPECT_EQ(selected, row.selected) << row.value;
    }
}

TEST_F(PageE2E, HeaderWithoutCharsetAndNoQueryParameter) {
    spec_.set("NoCharset", 1).set("FormFormat", 1);
    expect_golden("header_no_charset.out", "");
}

TEST_F(PageE2E, XmlHeadWithSettingsEcho) {
    spec_.set("UseXML", 1).set("UseCats", 1).set("NumCats", 2);
    spec_.categories = {"A & B"};
    spec_.set_text("XMLTitle", "Site")
        .set_text("XMLDesc", "Search")
        .set_text("XMLURL", "http://x/");
    spec_.set_text("XMLXSLTURL", "style.xsl").set_text("XMLOpenSearchDescURL", "os.xml");
    spec_.set_text("WordJoinChars", "&<\"");
    spec_.accent_chars = {"\xC3\xA9", "&"};
    spec_.normal_chars = {"e"};
    CgiResponse response = get("vesk_query=&masternode=1");
    EXPECT_EQ(testsupport::compare_golden("xml_head_echo.out", response.out), "");
    EXPECT_EQ(xmllint(response.out), "");
}

TEST_F(PageE2E, XmlSettingsEchoWithoutCategoriesOrAccents) {
    spec_.set("UseXML", 1).set("NumCats", 2).set("Highlighting", 0).set("XMLHighlight", 1);
    spec_.set_text("LinkTarget", "_blank").set_text("Version", "5.0 \"beta\"");
    CgiResponse response = get("vesk_query=&masternode=1");
    EXPECT_EQ(testsupport::compare_golden("xml_echo_plain.out", response.out), "");
    EXPECT_EQ(xmllint(response.out), "");
}

// A long category name goes out in slices: characters that straddle a slice's
// end come out whole, as the whole name escaped at once gives them.
TEST_F(PageE2E, LongSettingsTextsEchoWhole) {
    std::string name;
    while (name.size() < 1500) name += "\xC3\xA9\"";  // a two-byte letter on every slice end
    name += "\xE2\x82\xAC&<>";
    spec_.set("UseXML", 1).set("UseCats", 1).set("NumCats", 1);
    spec_.categories = {name};
    CgiResponse response = get("vesk_query=&masternode=1");
    std::string expected(name.size() * kXmlLiteralGrowth + 1, '\0');
    expected.resize(xml_escape_literal(&expected[0], name.data(), name.size(), true));
    EXPECT_NE(response.out.find("<vesk:category>" + expected + "</vesk:category>"),
              std::string::npos)
        << response.out;
    EXPECT_EQ(xmllint(response.out), "");
}

TEST_F(PageE2E, XmlHeadWithoutEchoAndPageLimit) {
    spec_.set("MaxResultsPerQuery", 100);
    CgiResponse response = get("vesk_xml=1&vesk_query=bee&vesk_page=11&masternode=2");
    EXPECT_EQ(testsupport::compare_golden("xml_page_limit.out", response.out), "");
    EXPECT_EQ(xmllint(response.out), "");
}

// Every nonzero vesk_xml asks for XML: the answer is then a whole document,
// head included, whatever the number.
TEST_F(PageE2E, EveryNonzeroXmlFlagGivesAWholeDocument) {
    spec_.set("UseXML", 1);
    const struct {
        const char *flag;
        bool xml;
    } cases[] = {{"1", true},  {"2", true}, {"-7", true}, {"12ab", true},
                 {"0", false}, {"", true},  {"x", true}};
    for (const auto &test : cases) {
        SCOPED_TRACE(test.flag);
        CgiResponse response = get(std::string("vesk_query=&vesk_xml=") + test.flag);
        const bool xml = response.out.rfind("Content-type: text/xml", 0) == 0;
        EXPECT_EQ(xml, test.xml);
        if (!xml) continue;
        EXPECT_NE(response.out.find("\n\n<?xml version=\"1.0\""), std::string::npos);
        EXPECT_EQ(xmllint(response.out), "");
    }
}

TEST_F(PageE2E, PageLimitHoldsForEveryPageNumber) {
    spec_.set("MaxResultsPerQuery", 1000);
    testsupport::write_file(dir_, "search_template.html", "<!--VESK_SHOW_RESULTS-->\n");
    const std::string refused = "Too many results<br />";
    struct Case {
        const char *request;
        bool refused;
    } cases[] = {
        {"vesk_query=a&vesk_page=100", false},
        {"vesk_query=a&vesk_page=101", true},
        {"vesk_query=a&vesk_page=0", true},
        {"vesk_query=a&vesk_page=-3", true},
        {"vesk_query=a&vesk_page=429496731", true},
        {"vesk_query=a&vesk_page=2147483647", true},
        {"vesk_query=a&vesk_page=-2147483648", true},
        {"vesk_query=a&vesk_page=99999999999", true},
        {"vesk_query=a&vesk_per_page=0&vesk_page=100", false},
        {"vesk_query=a&vesk_per_page=-5&vesk_page=100", false},
        {"vesk_query=a&vesk_per_page=5000&vesk_page=2", true},
    };
    for (const Case &test : cases) {
        std::string out = get(test.request).out;
        EXPECT_EQ(out.find(refused) != std::string::npos, test.refused) << test.request;
    }
}

TEST_F(PageE2E, QueryEchoIsNormalisedAndEscaped) {
    spec_.set("AllowExactPhrase", 1).set("ToLowerSearchWords", 1);
    EXPECT_EQ(echoed_query("vesk_query=Hello%2C+World%21"), "hello  world");
    EXPECT_EQ(echoed_query("vesk_query=a%3Cb+%22x%27y%22"), "a&#60;b &#34;x y&#34;");
    EXPECT_EQ(echoed_query("vesk_query=c%2B%2B+and+c%23"), "c++ and c#");
    EXPECT_EQ(echoed_query("vesk_query=100%25"), "100");
    EXPECT_EQ(echoed_query("vesk%5Fquery=raw+name"), "raw name");
    EXPECT_EQ(echoed_query("vesk_query=x&vesk_query=y"), "x");
    std::string long_query(3000, '<');
    EXPECT_EQ(echoed_query("vesk_query=" + long_query).find('<'), std::string::npos);
}

TEST_F(PageE2E, UnicodeQueriesLowerCase) {
    spec_.set("UseUTF8", 1).set("ToLowerSearchWords", 1);
    EXPECT_EQ(echoed_query("vesk_query=%C3%89COLE+%C8%BA"),
              "\xC3\xA9"
              "cole \xE2\xB1\xA5");
}

TEST_F(PageE2E, PageScriptsGoBeforeTheHeadEnd) {
    spec_.set("UseAutoComplete", 1).set("DateRangeSearch", 1);
    testsupport::write_file(dir_, "vesk_autocomplete.js",
                            "function VeskAutoComplete_OnLoad(id) {}\n");
    testsupport::write_file(dir_, "vesk_autocomplete.css", ".vesk_ac_item { }\r\n");
    testsupport::write_file(dir_, "vesk_datepicker.css", ".picker { }\n");
    // vesk_datepicker.js is missing: its message stands in its place.
    testsupport::write_file(
        dir_, "search_template.html",
        "<html><head><title>x</title></head>\n<body><!--VESK_SHOW_QUERY--></body>");
    CgiRequest request = testsupport::get_request(dir_, "vesk_query=a");
    request.script_name = "/cgi-bin/site\"query</script>";
    testsupport::write_settings(dir_, spec_);
    EXPECT_EQ(testsupport::compare_golden("page_scripts.out", testsupport::run_cgi(request).out),
              "");
}

TEST_F(PageE2E, MissingTemplate) {
    testsupport::write_file(dir_, "search_template.html", "");
    remove((dir_ + "/search_template.html").c_str());
    EXPECT_EQ(get("vesk_query=").out,
              "Content-type: text/html; charset=UTF-8\n\nError: Could not open template file.");
}

class AutocompleteE2E : public PageE2E {
   protected:
    void SetUp() override {
        PageE2E::SetUp();
        testsupport::write_file(dir_, "vesk_autocomplete.vdat",
                                "bee\nBeeswax\r\nhoney\n\nbeehive frames\nhoneycomb");
    }
};

TEST_F(AutocompleteE2E, ItemsForEveryLineStartingWithAQueryWord) {
    spec_.set("UseXML", 1);  // autocomplete items are HTML whatever the settings say
    expect_golden("autocomplete.out", "vesk_ac=1&vesk_query=BEE+honeyc");
}

TEST_F(AutocompleteE2E, LongLinesAndBadSettings) {
    spec_.set("MaxKeyWordLineLen", 6);
    expect_golden("autocomplete_short_lines.out", "vesk_ac=1&vesk_query=be");
    spec_.set("MaxKeyWordLineLen", 1);
    EXPECT_NE(get("vesk_ac=1&vesk_query=be").out.find("invalid"), std::string::npos);
    remove((dir_ + "/vesk_autocomplete.vdat").c_str());
    spec_.set("MaxKeyWordLineLen", 32);
    expect_golden("autocomplete_missing.out", "vesk_ac=1&vesk_query=be");
}

}  // namespace
