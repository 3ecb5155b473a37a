// Recommended links: pages that the site owner tied to keywords, shown above
// the results when the query or one of its words matches a keyword.
#include <string.h>

#include "index/index.h"
#include "search/search.h"
#include "text/text.h"

namespace {

const char kSectionGrowFailed[] = "recommended buffer could not be realloc'ed<br>";
constexpr int64_t kNoPageShown = -1;

// Room for the longest link: a page URL with the highlight parameter and the
// encoded query (its "#" fragment moves behind them), or a PDF link with the
// whole query percent-encoded.
constexpr int kHighlightLinkSize =
    kPageDataUrlSize + kLinkSeparatorSize + sizeof kHighlightSubParameter + kQueryUrlencodedSize;
constexpr int kPdfLinkSize =
    kPageDataUrlSize + sizeof kPdfFragmentOpen + kQueryUrlencodedSize + sizeof kPdfFragmentClose;
constexpr int kLinkSize = kHighlightLinkSize > kPdfLinkSize ? kHighlightLinkSize : kPdfLinkSize;

// What print_recommended_link did.
enum LinkOutcome {
    kLinkNotShown = 0,      // no match, a repeated page or a page outside the index
    kLinkShown = 1,         // the link was written
    kLinkPageFinished = 2,  // a page-data error finished the page
};

// The fields of the recommended page, as read from the page data.
struct PageFields {
    char url[kPageDataUrlSize];
    char title[kPageDataTitleSize];
    char description[kPageDataDescriptionSize];
    char image[kPageDataImageSize];
};

// Whether text holds a wildcard character.
bool has_wildcard(const char *text) {
    return strpbrk(text, "*?") != nullptr;
}

// Whether keyword k matches query word t. An empty word (a query ending in an
// opening quote) matches nothing: as a substring it would be found in every keyword.
bool word_matches(const SearchContext &c, uint32_t t, const char *k) {
    const char *w = c.g_query_words[t];
    if (w[0] == '\0') return false;
    const bool case_sensitive = c.ToLowerSearchWords == 0;
    if (c.g_term_is_wildcard[t]) {
        if (match_wildcard(k, w, case_sensitive)) return true;
    } else if (c.SearchAsSubstring == 0) {
        if (compare_words(w, k) == 0) return true;
    } else if (strlen(w) <= strlen(k) && find_text_nocase(k, w, 0) != nullptr) {
        return true;
    }
    return has_wildcard(k) && match_wildcard(w, k, case_sensitive);
}

// Whether keyword k matches a query word or the whole query.
bool keyword_matches(const SearchContext &c, const char *k) {
    for (uint32_t t = 0; t < c.g_query_word_count; t++)
        if (word_matches(c, t, k)) return true;
    return compare_words(c.g_query_text, k) == 0;
}

// The link of the recommended page: with the highlight parameter when
// GotoHighlight is 1 (a "#" fragment of the URL moves behind it and leaves
// url), the PDF search link for a ".pdf" link when PdfHighlight is 1.
void make_link(const SearchContext &c, char *url, char *link) {
    if (c.GotoHighlight == 1)
        make_query_url_keep_anchor(link, url, highlight_parameter(c), c.g_query_urlencoded,
                                   kLinkSize);
    else
        snprintf(link, kLinkSize, "%s", url);
    apply_pdf_highlight(c, url, link, kLinkSize);
}

void write_xml_link(const SearchContext &c, const PageFields &page, const char *link) {
    out_printf("<vesk:recommended>\n");
    if (c.UseVeskImage == 1 && page.image[0] != '\0')
        out_printf("<vesk:imageURL>%s</vesk:imageURL>", xml_text(c, page.image));
    out_printf("<title>%s</title>\n", xml_text(c, page.title));
    out_printf("<link>%s</link>\n", xml_text(c, link));
    out_printf("<description>%s</description>\n", xml_text(c, page.description));
    out_printf("</vesk:recommended>\n");
}

// Appends to the recommended section; reports a failed append on the page.
void append_checked(int result) {
    if (result < 0) out_printf("%s", kSectionGrowFailed);
}

void write_html_link(SearchContext &c, const PageFields &page, const char *link) {
    constexpr int s = SECTION_RECOMMENDED;
    section_printf(s, "<div class=\"recommend_block\">\n");
    if (c.UseVeskImage == 1 && page.image[0] != '\0') {
        section_printf(s, "<div class=\"recommend_image\">");
        section_printf(s, "<a href=\"%s\" %s>", link, c.g_link_target_attr);
        section_printf(s, "<img src=\"%s\" alt=\"\" class=\"recommend_image\">", page.image);
        section_printf(s, "</a></div>");
    }
    append_checked(section_printf(s, "<div class=\"recommend_title\">"));
    append_checked(section_printf(s, "<a href=\"%s\" %s>", link, c.g_link_target_attr));
    highlight_terms(c, page.title[0] != '\0' ? page.title : page.url, s);
    append_checked(section_printf(s, "</a></div>\n"));
    append_checked(section_printf(s, "<div class=\"recommend_description\">"));
    highlight_terms(c, page.description, s);
    append_checked(section_printf(s, "</div>\n"));
    append_checked(section_printf(s, "<div class=\"recommend_infoline\">%s</div>\n", page.url));
    append_checked(section_printf(s, "</div>"));
}

// Shows page g when keyword k matches the query and g is a page of the index
// other than the last one shown.
LinkOutcome print_recommended_link(SearchContext &c, const char *k, int64_t g) {
    if (g == c.g_last_recommended_page || g < 0 || g >= c.NumPages) return kLinkNotShown;
    if (!keyword_matches(c, k)) return kLinkNotShown;
    c.g_last_recommended_page = g;
    if (!c.g_xml_output && c.g_recommended_shown == 0) {
        section_printf(SECTION_RECOMMENDED, "<div class=\"recommended\">\n");
        section_printf(SECTION_RECOMMENDED, "<div class=\"recommended_heading\">%s</div>\n",
                       c.g_str_texts[STR_RECOMMENDED]);
    }
    static PageFields page;
    if (!read_page_data_fields((uint32_t)g, page.url, page.title, page.description, page.image)) {
        // The page ends here: the block opened above must not stay open.
        if (!c.g_xml_output) section_printf(SECTION_RECOMMENDED, "</div>\n");
        finish_search_error(c, kCorruptedIndexMessage, "</vesk:error>\n");
        return kLinkPageFinished;
    }
    static char link[kLinkSize];
    make_link(c, page.url, link);
    if (c.g_xml_output)
        write_xml_link(c, page, link);
    else
        write_html_link(c, page, link);
    c.g_recommended_shown++;
    return kLinkShown;
}

// Tries the keywords of one entry ("," separates them; empty ones are passed
// over) until one shows the entry's page.
LinkOutcome print_entry(SearchContext &c, const RecommendedEntry &entry) {
    char keyword[kRecommendedKeywordsSize];
    const char *piece = entry.keywords;
    while (true) {
        const size_t length = strcspn(piece, ",");
        if (length > 0) {
            memcpy(keyword, piece, length);
            keyword[length] = '\0';
            const LinkOutcome outcome = print_recommended_link(c, keyword, entry.page_index);
            if (outcome != kLinkNotShown) return outcome;
        }
        if (piece[length] == '\0') return kLinkNotShown;
        piece += length + 1;
    }
}

}  // namespace

bool write_recommended_links(SearchContext &c, SearchRun &) {
    c.g_recommended_shown = 0;
    c.g_last_recommended_page = kNoPageShown;
    if (c.Recommended != 1 || c.g_recommended == nullptr) return true;
    for (int32_t i = 0; i < c.g_recommended_count && c.g_recommended_shown < c.RecommendedMax; i++)
        if (print_entry(c, c.g_recommended[i]) == kLinkPageFinished) return false;
    if (!c.g_xml_output && c.g_recommended_shown > 0)
        section_printf(SECTION_RECOMMENDED, "</div>\n");
    return true;
}
