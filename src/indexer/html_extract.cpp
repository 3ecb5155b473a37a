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

#include "indexer/page_extract.h"
#include "indexer/page_text.h"

namespace indexer {

namespace {

// Elements whose content is no page text.
const char *const kSkippedElements[] = {"script", "style", "noscript", "template"};
// Elements that end one block of text and start the next.
const char *const kBlockElements[] = {
    "address", "article", "aside",    "blockquote", "body",    "br",      "caption",  "center",
    "dd",      "details", "dialog",   "div",        "dl",      "dt",      "fieldset", "figcaption",
    "figure",  "footer",  "form",     "header",     "hr",      "li",      "main",     "nav",
    "ol",      "option",  "p",        "pre",        "section", "summary", "table",    "tbody",
    "td",      "tfoot",   "th",       "thead",      "tr",      "ul",      "legend",   "frameset",
    "button",  "select",  "textarea", "label",      "menu",    "hgroup",  "search",   "img"};
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

template <size_t N>
bool name_in(const xmlChar *name, const char *const (&list)[N]) {
    for (const char *entry : list)
        if (strcasecmp((const char *)name, entry) == 0) return true;
    return false;
}

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

// Ends the block being collected: a non-empty one becomes a run.
void flush_run(HtmlState &s) {
    trim_end_blank(s.run.text);
    if (!s.run.text.empty()) s.runs.push_back(std::move(s.run));
    s.run = TextRun{};
    s.run.zone = s.heading_depth > 0 ? TextZone::kHeading : TextZone::kBody;
    s.run_space = true;
    if (!s.body_space) append_collapsed(s.body, " ", 1, s.body_space);
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
    if (name_in(name, kSkippedElements)) {
        s.skip_depth++;
        return;
    }
    if (strcasecmp((const char *)name, "head") == 0) s.in_head = true;
    if (strcasecmp((const char *)name, "body") == 0) s.in_head = false;
    if (strcasecmp((const char *)name, "meta") == 0) take_meta(s, atts);
    if (strcasecmp((const char *)name, "title") == 0 && !s.title_done) s.in_title = true;
    const bool heading =
        (name[0] == 'h' || name[0] == 'H') && name[1] >= '1' && name[1] <= '6' && name[2] == '\0';
    if (heading || name_in(name, kBlockElements)) flush_run(s);
    if (heading && ++s.heading_depth == 1) s.run.zone = TextZone::kHeading;
    if (heading && name[1] == '1' && !s.first_h1_done) s.in_first_h1 = true;
    const char *alt = strcasecmp((const char *)name, "img") == 0 ? attribute(atts, "alt") : nullptr;
    if (alt != nullptr && s.skip_depth == 0 && !s.in_head) {
        append_collapsed(s.run.text, alt, strlen(alt), s.run_space);
        append_collapsed(s.body, alt, strlen(alt), s.body_space);
        flush_run(s);
    }
}

void on_end(void *context, const xmlChar *name) {
    HtmlState &s = state_of(context);
    if (name_in(name, kSkippedElements)) {
        if (s.skip_depth > 0) s.skip_depth--;
        return;
    }
    if (strcasecmp((const char *)name, "head") == 0) s.in_head = false;
    if (strcasecmp((const char *)name, "title") == 0 && s.in_title) {
        s.in_title = false;
        s.title_done = true;
    }
    const bool heading =
        (name[0] == 'h' || name[0] == 'H') && name[1] >= '1' && name[1] <= '6' && name[2] == '\0';
    if (heading && s.heading_depth > 0) s.heading_depth--;
    if (heading || name_in(name, kBlockElements)) flush_run(s);
    if (heading && name[1] == '1' && s.in_first_h1) {
        s.in_first_h1 = false;
        s.first_h1_done = true;
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
    append_collapsed(s.body, bytes, (size_t)length, s.body_space);
}

// Runs the SAX pass over UTF-8 text.
void parse(const std::string &text, HtmlState &state) {
    const int size = (int)std::min<size_t>(text.size(), (size_t)std::numeric_limits<int>::max());
    htmlParserCtxtPtr context = htmlCreateMemoryParserCtxt(text.data(), size);
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
    const std::string text = decode_to_utf8(bytes, length, charset, &facts->replaced_bytes);
    HtmlState state;
    state.options = &options;
    state.page = page;
    state.facts = facts;
    page->meta.assign(options.meta_names.size(), "");
    state.meta_found.assign(options.meta_names.size(), false);
    parse(text, state);
    finish(state);
}

}  // namespace indexer
