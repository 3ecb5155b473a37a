// Reading pages: what the front end takes from HTML, XHTML and text files in
// odd charsets and broken markup, what it leaves out, and that every text it
// hands on is valid UTF-8.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "indexer/page_extract.h"
#include "indexer/page_text.h"

namespace {

using indexer::ExtractedPage;
using indexer::ExtractFacts;
using indexer::ExtractOptions;
using indexer::TextZone;

// The texts of one zone, joined by " | ".
std::string zone_text(const ExtractedPage &page, TextZone zone) {
    std::string out;
    for (const auto &run : page.runs)
        if (run.zone == zone) out += (out.empty() ? "" : " | ") + run.text;
    return out;
}

struct Extracted {
    ExtractedPage page;
    ExtractFacts facts;
};

Extracted extract(const std::string &html, const ExtractOptions &options = {}) {
    Extracted out;
    indexer::extract_html(html.data(), html.size(), options, &out.page, &out.facts);
    return out;
}

void expect_valid(const ExtractedPage &page, const std::string &label) {
    EXPECT_TRUE(indexer::is_valid_utf8(page.title.data(), page.title.size())) << label;
    EXPECT_TRUE(indexer::is_valid_utf8(page.description.data(), page.description.size())) << label;
    for (const auto &run : page.runs) {
        EXPECT_TRUE(indexer::is_valid_utf8(run.text.data(), run.text.size())) << label;
        EXPECT_FALSE(run.text.empty()) << label;
        EXPECT_NE(run.text.front(), ' ') << label;
        EXPECT_NE(run.text.back(), ' ') << label;
    }
    for (const auto &value : page.meta)
        EXPECT_TRUE(indexer::is_valid_utf8(value.data(), value.size())) << label;
}

struct ZoneCase {
    const char *label;
    std::string html;
    std::string title, headings, body;
};

TEST(HtmlExtract, ZonesAndLeftOutElements) {
    const ZoneCase cases[] = {
        {"plain page",
         "<html><head><title> A  title </title></head><body><h1>Top</h1><p>One "
         "two.</p><p>Three</p></body></html>",
         "A title", "Top", "One two. | Three"},
        {"script, style, noscript, template left out",
         "<title>T</title><script>var hidden = 1;</script><style>p{}</style><p>seen "
         "<noscript>gone</noscript>here<template><p>tpl</p></template></p>",
         "T", "", "seen here"},
        {"inline markup does not split words", "<p>wo<b>r</b>d <i>and</i> <a href=x>link</a></p>",
         "", "", "word and link"},
        {"no title: the first h1", "<body><h2>Second</h2><h1>First <em>one</em></h1></body>",
         "First one", "Second | First one", ""},
        {"unclosed and misnested tags",
         "<title>Broken<body><div><p>alpha<div>beta</span> gamma</td><h3>head</h3>\x01", "Broken",
         "head", "alpha | beta gamma"},
        {"image text", "<p>see <img src=a.png alt=\"a diagram\"> below</p>", "", "",
         "see | a diagram | below"},
        {"xhtml with a declaration",
         "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML "
         "1.0 "
         "Strict//EN\" \"x\"><html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>X "
         "page</title></head><body><p>x body<br/>next</p></body></html>",
         "X page", "", "x body | next"},
        {"entities", "<p>caf&eacute; &amp; cr&#232;me &#xD800; end</p>", "", "",
         "café & crème end"},
    };
    for (const ZoneCase &c : cases) {
        const Extracted out = extract(c.html);
        EXPECT_EQ(out.page.title, c.title) << c.label;
        EXPECT_EQ(zone_text(out.page, TextZone::kHeading), c.headings) << c.label;
        EXPECT_EQ(zone_text(out.page, TextZone::kBody), c.body) << c.label;
        if (!c.title.empty()) {
            ASSERT_FALSE(out.page.runs.empty()) << c.label;
            EXPECT_EQ(out.page.runs[0].zone, TextZone::kTitle) << c.label;
        }
        expect_valid(out.page, c.label);
    }
}

struct CharsetCase {
    const char *label;
    std::string html;
    std::string fallback;
    std::string body;  // expected body text (UTF-8)
};

TEST(HtmlExtract, Charsets) {
    const CharsetCase cases[] = {
        {"meta charset windows-1252", "<meta charset=\"windows-1252\"><p>caf\xE9 \x93q\x94</p>", "",
         "caf\xC3\xA9 \xE2\x80\x9Cq\xE2\x80\x9D"},
        {"http-equiv latin-1 read as windows-1252",
         "<meta http-equiv=\"Content-Type\" content=\"text/html; "
         "charset=ISO-8859-1\"><p>\xFC\x80</p>",
         "", "\xC3\xBC\xE2\x82\xAC"},
        {"koi8-r", "<meta charset=koi8-r><p>\xF0\xD2\xC9\xD7\xC5\xD4</p>", "",
         "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"},
        {"shift_jis", "<meta charset=\"Shift_JIS\"><p>\x93\xFA\x96\x7B</p>", "",
         "\xE6\x97\xA5\xE6\x9C\xAC"},
        {"undeclared valid utf-8 stays", "<p>na\xC3\xAFve</p>", "", "na\xC3\xAFve"},
        {"undeclared invalid utf-8: the fallback", "<p>na\xEFve</p>", "", "na\xC3\xAFve"},
        {"undeclared invalid: a configured fallback", "<p>\xE0\xE8</p>", "iso-8859-7",
         "\xCE\xB0\xCE\xB8"},
        {"declared utf-8 with bad bytes: replaced", "<meta charset=utf-8><p>a\xFF b\xC3</p>", "",
         "a\xEF\xBF\xBD b\xEF\xBF\xBD"},
        {"undefined windows-1252 bytes replaced", "<meta charset=windows-1252><p>x\x81y</p>", "",
         "x\xEF\xBF\xBDy"},
        {"unknown charset name: utf-8, repaired", "<meta charset=no-such-set><p>ok\xFE</p>", "",
         "ok\xEF\xBF\xBD"},
        {"utf-16le with a byte-order mark",
         std::string("\xFF\xFE<\0p\0>\0h\0\xE9\0<\0/\0p\0>\0", 20), "", "h\xC3\xA9"},
        {"utf-8 byte-order mark", "\xEF\xBB\xBF<p>bom</p>", "", "bom"},
    };
    for (const CharsetCase &c : cases) {
        ExtractOptions options;
        if (!c.fallback.empty()) options.fallback_charset = c.fallback;
        const Extracted out = extract(c.html, options);
        EXPECT_EQ(zone_text(out.page, TextZone::kBody), c.body) << c.label;
        expect_valid(out.page, c.label);
    }
}

TEST(HtmlExtract, MetaTags) {
    ExtractOptions options;
    options.meta_names = {"author", "price", "absent"};
    const Extracted out = extract(
        "<html><head><title>T</title><meta name=\"Description\" content=\" Short  text. \">"
        "<meta name=keywords content=\"bees, honey\"><meta name=AUTHOR content=\"Ann\">"
        "<meta name=author content=\"Bob\"><meta name=price content=\"12.50\">"
        "<meta name=\"date\" content=\"2021-03-04\"></head><body><p>Body.</p></body></html>",
        options);
    EXPECT_EQ(out.page.description, "Short text.");
    EXPECT_EQ(zone_text(out.page, TextZone::kDescription), "Short text.");
    EXPECT_EQ(zone_text(out.page, TextZone::kKeywords), "bees, honey");
    EXPECT_EQ(out.page.meta, (std::vector<std::string>{"Ann", "12.50", ""}));
    EXPECT_TRUE(out.facts.has_date);
    EXPECT_EQ(out.page.date, 1614816000u);
    EXPECT_FALSE(out.facts.noindex);

    const struct {
        const char *html;
        bool noindex;
    } robots[] = {{"<meta name=robots content=\"NOINDEX, follow\"><p>x</p>", true},
                  {"<meta name=robots content=\"index,follow\"><p>x</p>", false},
                  {"<body><meta name=\"robots\" content=\"noindex\"><p>x</p></body>", true}};
    for (const auto &c : robots) EXPECT_EQ(extract(c.html).facts.noindex, c.noindex) << c.html;
}

TEST(HtmlExtract, DescriptionFromBody) {
    const std::string sentence = "This sentence has exactly fifty bytes in it, yes. ";
    std::string body;
    for (int i = 0; i < 10; i++) body += sentence;
    const Extracted out = extract("<p>" + body + "</p>");
    EXPECT_EQ(out.page.description.size(), 6 * sentence.size() - 1);
    EXPECT_EQ(indexer::first_sentences("no stop at all " + std::string(400, 'x'), 30),
              "no stop at all...");
    EXPECT_EQ(indexer::first_sentences("Short one. Second.", 300), "Short one. Second.");
}

TEST(PageText, Dates) {
    const struct {
        const char *text;
        bool valid;
        uint32_t seconds;
    } cases[] = {{"2021-03-04", true, 1614816000u},
                 {"20210304", true, 1614816000u},
                 {"2021-03-04T10:20:30Z", true, 1614853230u},
                 {"2021-03-04T10:20:30.123+02:00", true, 1614846030u},
                 {" 2021-03-04 10:20 ", true, 1614853200u},
                 {"1969-12-31", false, 0},
                 {"2200-01-01", false, 0},
                 {"2021-13-01", false, 0},
                 {"March 4, 2021", false, 0},
                 {"2021-03-04T25:00", false, 0}};
    for (const auto &c : cases) {
        uint32_t seconds = 0;
        EXPECT_EQ(indexer::parse_meta_date(c.text, &seconds), c.valid) << c.text;
        if (c.valid) {
            EXPECT_EQ(seconds, c.seconds) << c.text;
        }
    }
}

TEST(PageText, UrlsAndPrintablePaths) {
    EXPECT_EQ(indexer::page_url("https://x.org", "a b/c%d.html"), "https://x.org/a%20b/c%25d.html");
    EXPECT_EQ(indexer::page_url("https://x.org/", "\xC3\xA9?#.htm"),
              "https://x.org/%C3%A9%3F%23.htm");
    EXPECT_EQ(indexer::printable_path("a\nb\xFF\xC3\xA9"), "a\\x0Ab\\xFF\xC3\xA9");
}

TEST(TextExtract, ParagraphsTitleAndCharset) {
    const std::string text = "First line\n\nSecond para\ngoes on.\r\n\r\nThird \xE9t\xE9\n";
    ExtractedPage page;
    ExtractFacts facts;
    indexer::extract_text(text.data(), text.size(), ExtractOptions{}, &page, &facts);
    EXPECT_EQ(page.title, "First line");
    EXPECT_EQ(zone_text(page, TextZone::kBody),
              "First line | Second para goes on. | Third \xC3\xA9t\xC3\xA9");
    expect_valid(page, "text file");
}

}  // namespace
