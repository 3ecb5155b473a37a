// HTML and XHTML pages: one SAX pass of libxml2's HTML parser over the page,
// decoded to UTF-8 first, collecting the title, the meta tags, the headings
// and the body text block by block. The parser builds no tree, recovers from
// any broken markup and never touches the network.
#include <libxml/HTMLparser.h>
#include <libxml/parserInternals.h>
#include <string.h>
#include <strings.h>

#include <algorithm>
#include <limits>

#include "context/xml_text.h"
#include "indexer/page_extract.h"
#include "indexer/page_text.h"
#include "text/text.h"

namespace indexer {

namespace {

// What an element means to the extraction.
enum class Element : uint8_t {
    kInline,   // its text continues the block around it
    kBlock,    // ends one block of text and starts the next
    kSkipped,  // its content is no page text
    kHeading,  // h1 to h6 (kFirstHeading is h1)
    kFirstHeading,
    kHead,
    kBody,
    kTitle,
    kMeta,
    kImage,
};

struct ElementName {
    const char *name;
    Element kind;
};

// Every element that is not inline, sorted by name (strcmp order) for the
// binary search; the HTML parser hands element names in lower case.
const ElementName kElements[] = {
    {"address", Element::kBlock},    {"article", Element::kBlock},
    {"aside", Element::kBlock},      {"blockquote", Element::kBlock},
    {"body", Element::kBody},        {"br", Element::kBlock},
    {"button", Element::kBlock},     {"caption", Element::kBlock},
    {"center", Element::kBlock},     {"dd", Element::kBlock},
    {"details", Element::kBlock},    {"dialog", Element::kBlock},
    {"div", Element::kBlock},        {"dl", Element::kBlock},
    {"dt", Element::kBlock},         {"fieldset", Element::kBlock},
    {"figcaption", Element::kBlock}, {"figure", Element::kBlock},
    {"footer", Element::kBlock},     {"form", Element::kBlock},
    {"frameset", Element::kBlock},   {"h1", Element::kFirstHeading},
    {"h2", Element::kHeading},       {"h3", Element::kHeading},
    {"h4", Element::kHeading},       {"h5", Element::kHeading},
    {"h6", Element::kHeading},       {"head", Element::kHead},
    {"header", Element::kBlock},     {"hgroup", Element::kBlock},
    {"hr", Element::kBlock},         {"img", Element::kImage},
    {"label", Element::kBlock},      {"legend", Element::kBlock},
    {"li", Element::kBlock},         {"main", Element::kBlock},
    {"menu", Element::kBlock},       {"meta", Element::kMeta},
    {"nav", Element::kBlock},        {"noscript", Element::kSkipped},
    {"ol", Element::kBlock},         {"option", Element::kBlock},
    {"p", Element::kBlock},          {"pre", Element::kBlock},
    {"script", Element::kSkipped},   {"search", Element::kBlock},
    {"section", Element::kBlock},    {"select", Element::kBlock},
    {"style", Element::kSkipped},    {"summary", Element::kBlock},
    {"table", Element::kBlock},      {"tbody", Element::kBlock},
    {"td", Element::kBlock},         {"template", Element::kSkipped},
    {"textarea", Element::kBlock},   {"tfoot", Element::kBlock},
    {"th", Element::kBlock},         {"thead", Element::kBlock},
    {"title", Element::kTitle},      {"tr", Element::kBlock},
    {"ul", Element::kBlock},
};

Element element_kind(const xmlChar *name) {
    size_t low = 0, high = sizeof kElements / sizeof *kElements;
    while (low < high) {
        const size_t middle = (low + high) / 2;
        const int order = strcmp((const char *)name, kElements[middle].name);
        if (order == 0) return kElements[middle].kind;
        if (order < 0)
            high = middle;
        else
            low = middle + 1;
    }
    return Element::kInline;
}

// Meta tags that give a page's date, the first one found is taken.
const char *const kDateMetaNames[] = {"date",
                                      "dcterms.modified",
                                      "dc.date.modified",
                                      "last-modified",
                                      "dcterms.date",
                                      "dc.date",
                                      "revised",
                                      "article:modified_time",
                                      "og:updated_time",
                                      "article:published_time"};
constexpr int kNoDate = std::numeric_limits<int>::max();  // rank of no date found yet
constexpr size_t kBodyKept = 2 * kSummaryBytes;  // bytes of body text kept for the description

// The SAX pass's state.
struct HtmlState {
    const ExtractOptions *options;
    ExtractedPage *page;
    ExtractFacts *facts;
    int skip_depth = 0;        // open elements whose text is left out
    bool in_head = false;      // inside <head>: its text is no body text
    bool in_title = false;     // collecting the first <title>
    bool title_done = false;   // the first <title> has ended
    int heading_depth = 0;     // open h1-h6
    bool in_first_h1 = false;  // collecting the first <h1> (the title when none)
    bool first_h1_done = false;
    std::string title, first_h1;
    bool title_space = true, h1_space = true;
    TextRun run;  // the block being collected
    bool run_space = true;
    std::string body;  // all body text collapsed, for a description made from it
    bool body_space = true;
    std::string meta_description, meta_keywords;
    std::vector<bool> meta_found;  // per custom meta field
    int date_rank = kNoDate;       // index in kDateMetaNames of the date taken
    std::vector<TextRun> runs;     // headings and body blocks
};

HtmlState &state_of(void *context) {
    return *(HtmlState *)((htmlParserCtxtPtr)context)->_private;
}

// Adds text to the body text kept for a description made from it: only its
// start is ever used.
void append_body(HtmlState &s, const char *text, size_t length) {
    if (s.body.size() <= kBodyKept) append_collapsed(s.body, text, length, s.body_space);
}

// Ends the block being collected: a non-empty one becomes a run.
void flush_run(HtmlState &s) {
    trim_end_blank(s.run.text);
    if (!s.run.text.empty()) s.runs.push_back(std::move(s.run));
    s.run = TextRun{};
    s.run.zone = s.heading_depth > 0 ? TextZone::kHeading : TextZone::kBody;
    s.run_space = true;
    append_body(s, " ", 1);
}

const char *attribute(const xmlChar **atts, const char *name) {
    for (int i = 0; atts != nullptr && atts[i] != nullptr; i += 2)
        if (strcasecmp((const char *)atts[i], name) == 0)
            return atts[i + 1] != nullptr ? (const char *)atts[i + 1] : "";
    return nullptr;
}

bool contains_word(const char *text, const char *word) {
    std::string value = text;
    for (char &ch : value) ch = (char)tolower((unsigned char)ch);
    return value.find(word) != std::string::npos;
}

std::string collapsed(const char *text) {
    std::string out;
    bool space = true;
    append_collapsed(out, text, strlen(text), space);
    trim_end_blank(out);
    return out;
}

void take_meta(HtmlState &s, const xmlChar **atts) {
    const char *name = attribute(atts, "name");
    if (name == nullptr) name = attribute(atts, "property");
    if (name == nullptr) name = attribute(atts, "http-equiv");
    const char *content = attribute(atts, "content");
    if (name == nullptr || content == nullptr) return;
    if (strcasecmp(name, "robots") == 0 && contains_word(content, "noindex"))
        s.facts->noindex = true;
    if (strcasecmp(name, "description") == 0 && s.meta_description.empty())
        s.meta_description = collapsed(content);
    if (strcasecmp(name, "keywords") == 0 && s.meta_keywords.empty())
        s.meta_keywords = collapsed(content);
    for (int rank = 0; rank < (int)(sizeof kDateMetaNames / sizeof *kDateMetaNames); rank++) {
        uint32_t seconds;
        if (rank < s.date_rank && strcasecmp(name, kDateMetaNames[rank]) == 0 &&
            parse_meta_date(content, &seconds)) {
            s.date_rank = rank;
            s.page->date = seconds;
            s.facts->has_date = true;
        }
    }
    const std::vector<std::string> &names = s.options->meta_names;
    for (size_t i = 0; i < names.size(); i++)
        if (!s.meta_found[i] && strcasecmp(name, names[i].c_str()) == 0) {
            s.page->meta[i] = collapsed(content);
            s.meta_found[i] = true;
        }
}

void on_start(void *context, const xmlChar *name, const xmlChar **atts) {
    HtmlState &s = state_of(context);
    const Element kind = element_kind(name);
    switch (kind) {
        case Element::kInline:
            return;
        case Element::kSkipped:
            s.skip_depth++;
            return;
        case Element::kHead:
            s.in_head = true;
            return;
        case Element::kBody:
            s.in_head = false;
            return flush_run(s);
        case Element::kMeta:
            return take_meta(s, atts);
        case Element::kTitle:
            if (!s.title_done) s.in_title = true;
            return;
        case Element::kFirstHeading:
            if (!s.first_h1_done) s.in_first_h1 = true;
            [[fallthrough]];
        case Element::kHeading:
            flush_run(s);
            if (++s.heading_depth == 1) s.run.zone = TextZone::kHeading;
            return;
        case Element::kImage:
            flush_run(s);
            if (const char *alt = attribute(atts, "alt"))
                if (s.skip_depth == 0 && !s.in_head) {
                    append_collapsed(s.run.text, alt, strlen(alt), s.run_space);
                    append_body(s, alt, strlen(alt));
                    flush_run(s);
                }
            return;
        case Element::kBlock:
            return flush_run(s);
    }
}

void on_end(void *context, const xmlChar *name) {
    HtmlState &s = state_of(context);
    switch (element_kind(name)) {
        case Element::kSkipped:
            if (s.skip_depth > 0) s.skip_depth--;
            return;
        case Element::kHead:
            s.in_head = false;
            return;
        case Element::kTitle:
            if (s.in_title) s.title_done = true;
            s.in_title = false;
            return;
        case Element::kFirstHeading:
            if (s.in_first_h1) s.first_h1_done = true;
            s.in_first_h1 = false;
            [[fallthrough]];
        case Element::kHeading:
            if (s.heading_depth > 0) s.heading_depth--;
            return flush_run(s);
        case Element::kBlock:
        case Element::kBody:
        case Element::kImage:
            return flush_run(s);
        case Element::kInline:
        case Element::kMeta:
            return;
    }
}

void on_text(void *context, const xmlChar *text, int length) {
    HtmlState &s = state_of(context);
    if (s.skip_depth > 0 || length <= 0) return;
    const char *bytes = (const char *)text;
    if (s.in_title) {
        append_collapsed(s.title, bytes, (size_t)length, s.title_space);
        return;
    }
    if (s.in_head) return;
    if (s.in_first_h1) append_collapsed(s.first_h1, bytes, (size_t)length, s.h1_space);
    append_collapsed(s.run.text, bytes, (size_t)length, s.run_space);
    append_body(s, bytes, (size_t)length);
}

// Runs the SAX pass over UTF-8 text.
void parse(const char *text, size_t length, HtmlState &state) {
    const int size = (int)std::min<size_t>(length, (size_t)std::numeric_limits<int>::max());
    htmlParserCtxtPtr context = htmlCreateMemoryParserCtxt(text, size);
    if (context == nullptr) return;
    memset(context->sax, 0, sizeof *context->sax);
    context->sax->startElement = on_start;
    context->sax->endElement = on_end;
    context->sax->characters = on_text;
    context->sax->cdataBlock = on_text;
    context->sax->ignorableWhitespace = on_text;
    context->_private = &state;
    htmlCtxtUseOptions(context, HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                                    HTML_PARSE_NONET | HTML_PARSE_NOIMPLIED);
    // The text is UTF-8 already: with a UTF-8 decoder in place, a charset that
    // the page's meta tag names is not applied again.
    xmlCharEncodingHandlerPtr utf8 = xmlFindCharEncodingHandler("UTF-8");
    if (utf8 != nullptr) xmlSwitchToEncoding(context, utf8);
    if (context->input->encoding == nullptr) context->input->encoding = xmlStrdup(BAD_CAST "UTF-8");
    htmlParseDocument(context);
    if (context->myDoc != nullptr) xmlFreeDoc(context->myDoc);
    context->myDoc = nullptr;
    htmlFreeParserCtxt(context);
}

// The page record from the pass: title first, then the meta texts, then the blocks.
void finish(HtmlState &s) {
    flush_run(s);
    trim_end_blank(s.title);
    trim_end_blank(s.first_h1);
    trim_end_blank(s.body);
    ExtractedPage &page = *s.page;
    page.title = !s.title.empty() ? s.title : s.first_h1;
    page.description =
        !s.meta_description.empty() ? s.meta_description : first_sentences(s.body, kSummaryBytes);
    if (!page.title.empty()) page.runs.push_back(TextRun{TextZone::kTitle, page.title});
    if (!s.meta_description.empty())
        page.runs.push_back(TextRun{TextZone::kDescription, s.meta_description});
    if (!s.meta_keywords.empty())
        page.runs.push_back(TextRun{TextZone::kKeywords, s.meta_keywords});
    for (TextRun &run : s.runs) page.runs.push_back(std::move(run));
}

}  // namespace

void extract_html(const char *bytes, size_t length, const ExtractOptions &options,
                  ExtractedPage *page, ExtractFacts *facts) {
    std::string charset = declared_charset(bytes, length);
    if (charset.empty())
        charset = is_valid_utf8(bytes, length) ? "UTF-8" : options.fallback_charset;
    facts->charset = charset;
    // Valid UTF-8 (a byte-order mark aside) is parsed as it is, without a copy.
    const bool bom = length >= 3 && memcmp(bytes, "\xEF\xBB\xBF", 3) == 0;
    const bool as_is = charset_is_utf8(charset.c_str()) && !bom && is_valid_utf8(bytes, length);
    const std::string text =
        as_is ? std::string() : decode_to_utf8(bytes, length, charset, &facts->replaced_bytes);
    HtmlState state;
    state.options = &options;
    state.page = page;
    state.facts = facts;
    page->meta.assign(options.meta_names.size(), "");
    state.meta_found.assign(options.meta_names.size(), false);
    if (as_is)
        parse(bytes, length, state);
    else
        parse(text.data(), text.size(), state);
    finish(state);
}

}  // namespace indexer
