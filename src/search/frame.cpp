// The result page around the result blocks: heading, skipped words, summary,
// suggestions, category summary, page count, sort links and page numbers, and
// the links back to the search that they carry. Links are written straight
// into their section, so that none is ever cut, whatever the request holds.
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "context/xml_text.h"
#include "search/search.h"
#include "text/text.h"

namespace {
constexpr int64_t kPageWindowReach = 10;  // page numbers shown before and after the current one
constexpr uint32_t kFewMatches = 3;       // fewer matches than this suggest a wider search
constexpr int kLabelSize = kSettingTextSize + 16;  // a link's text: interface text and arrows
constexpr int kAllCategories = -1;                 // first selected category: all of them
constexpr uint8_t kNoChoice = 0xFF;                // a multi-choice option byte meaning none
const char kOutOfMemory[] = "Out of memory\n";

// The kinds of link back to the search, each with its own parameters.
enum SelfLink {
    kLinkAnyTerms,       // the same search matching any word
    kLinkAllCategories,  // the same search in every category
    kLinkCategory,       // the same search in one category (number: the category)
    kLinkSort,           // this page in another order (number: the sort order)
    kLinkPage,           // another result page (number: the page)
};

bool category_in_range(const SearchContext &c, int32_t category) {
    return category >= 0 && category < c.NumCats;
}

bool all_categories_selected(const SearchContext &c) {
    return c.g_selected_cats == nullptr || c.g_selected_cat_count < 1 ||
           c.g_selected_cats[0] == kAllCategories;
}

const char *suffix_text(const char *suffix) {
    return suffix != nullptr ? suffix : "";
}

// Writes the address of a self-link into section: the link base, then the
// query parameters of its kind with the three shared suffixes.
void write_self_link(const SearchContext &c, const SearchRun &run, int section, SelfLink kind,
                     int64_t number) {
    const char *query = c.g_query_urlencoded;
    const char *meta = suffix_text(c.g_meta_link_suffix);
    const char *cats = suffix_text(run.category_link_suffix);
    const char *date = c.g_date_link_suffix;
    section_printf(section, "%s%s", c.LinkBackURL, c.g_link_separator);
    switch (kind) {
        case kLinkAnyTerms:
            section_printf(section,
                           "vesk_query=%s%s&amp;vesk_per_page=%d%s%s&amp;vesk_xml=%d&amp;vesk_and=0"
                           "&amp;vesk_sort=%d",
                           query, meta, c.g_per_page, cats, date, 0, c.g_sort_order);
            break;
        case kLinkAllCategories:
            section_printf(section,
                           "vesk_query=%s%s&amp;vesk_per_page=%d&amp;vesk_cat=-1%s&amp;vesk_xml=%d"
                           "&amp;vesk_and=%d&amp;vesk_sort=%d",
                           query, meta, c.g_per_page, date, 0, c.g_match_all, c.g_sort_order);
            break;
        case kLinkCategory:
            section_printf(
                section,
                "vesk_query=%s%s&amp;vesk_cat=%lld%s&amp;vesk_per_page=%d&amp;vesk_xml=%d"
                "&amp;vesk_and=%d&amp;vesk_sort=%d",
                query, meta, (long long)number, date, c.g_per_page, c.g_xml_output, c.g_match_all,
                c.g_sort_order);
            break;
        case kLinkSort:
            section_printf(
                section,
                "vesk_query=%s%s&amp;vesk_page=%d&amp;vesk_per_page=%d%s%s&amp;vesk_and=%d"
                "&amp;vesk_xml=%d&amp;vesk_sort=%lld",
                query, meta, c.g_page, c.g_per_page, cats, date, c.g_match_all, c.g_xml_output,
                (long long)number);
            break;
        case kLinkPage:
            section_printf(
                section,
                "vesk_query=%s%s&amp;vesk_page=%lld&amp;vesk_per_page=%d%s%s&amp;vesk_and=%d"
                "&amp;vesk_sort=%d&amp;vesk_xml=%d",
                query, meta, (long long)number, c.g_per_page, cats, date, c.g_match_all,
                c.g_sort_order, c.g_xml_output);
            break;
    }
}

// Writes "<a href=\"link\">label</a>" into section.
void write_anchor(const SearchContext &c, const SearchRun &run, int section, SelfLink kind,
                  int64_t number, const char *label) {
    section_printf(section, "<a href=\"");
    write_self_link(c, run, section, kind, number);
    section_printf(section, "\">%s</a>", label);
}

// Prints text as XML character data in an element of the channel.
void print_xml_element(const SearchContext &c, const char *name, const char *text) {
    out_printf("<%s>%s</%s>\n", name, xml_text(c, text, strlen(text), false), name);
}

// The "more results" suggestion: a link to a wider search.
void write_suggestion(const SearchContext &c, const SearchRun &run, SelfLink kind, int text) {
    section_printf(SECTION_SUGGESTION, "<div class=\"suggestion\"><br />%s ",
                   text_of(c, STR_POSSIBLY_GET_MORE_RESULTS));
    write_anchor(c, run, SECTION_SUGGESTION, kind, 0, text_of(c, text));
    section_printf(SECTION_SUGGESTION, ".</div>");
}

void write_count_line(const SearchContext &c, const SearchRun &run) {
    if (run.match_count == 0) {
        section_printf(SECTION_SUMMARY, "%s", text_of(c, STR_SUMMARY_NO_RESULTS_FOUND));
    } else if (c.g_query_word_count > 1 && c.g_match_all == 0) {
        print_result_count(run.all_terms_count, text_of(c, STR_SUMMARY_FOUND_CONTAINING_ALL_TERMS));
        if (run.match_count > run.all_terms_count)
            print_result_count(run.match_count - run.all_terms_count,
                               text_of(c, STR_SUMMARY_FOUND_CONTAINING_SOME_TERMS));
    } else if (c.g_query_word_count > 1 && c.g_match_all == 1) {
        print_result_count(run.all_terms_count, text_of(c, STR_SUMMARY_FOUND_CONTAINING_ALL_TERMS));
    } else {
        print_result_count(run.match_count, text_of(c, STR_SUMMARY_FOUND));
    }
}

void write_category_summary(SearchContext &c, SearchRun &run) {
    const bool xml = c.g_xml_output != 0;
    if (!xml)
        section_printf(SECTION_CATSUMMARY, "<div class=\"cat_summary\"><br />%s<ul>",
                       text_of(c, STR_CAT_SUMMARY));
    int listed = 0;
    for (int32_t cat = 0; cat < c.NumCats; cat++) {
        const uint32_t count = run.category_counts[cat];
        if (count == 0 || count == run.match_count) continue;
        listed++;
        if (xml) {
            out_printf("<vesk:categorySummary>\n");
            print_xml_element(c, "vesk:categoryName", category_name(c, cat));
            out_printf("<vesk:categoryCount>%u</vesk:categoryCount>\n", count);
            out_printf("</vesk:categorySummary>\n");
        } else {
            section_printf(SECTION_CATSUMMARY, "<li>");
            write_anchor(c, run, SECTION_CATSUMMARY, kLinkCategory, cat, category_name(c, cat));
            section_printf(SECTION_CATSUMMARY, " (%u)</li>", count);
        }
    }
    if (!xml && listed > 0) section_printf(SECTION_CATSUMMARY, "</ul></div>");
    if (!xml && listed == 0) clear_catsummary_section();
    free(run.category_counts);
    run.category_counts = nullptr;
}

// Result pages of the search: the matches over the results per page, rounded up.
int64_t result_page_count(const SearchContext &c, const SearchRun &run) {
    const int64_t per_page = c.g_per_page > 0 ? c.g_per_page : 1;
    return ((int64_t)run.match_count + per_page - 1) / per_page;
}

}  // namespace

const char *xml_text(const SearchContext &c, const char *text, size_t length, bool keep_tags) {
    static char *buffer = nullptr;
    static size_t capacity = 0;
    const size_t needed = length * kXmlEscapeGrowth + 1;
    if (needed > capacity) {
        char *grown = (char *)realloc(buffer, needed);
        if (grown == nullptr) return "";
        buffer = grown;
        capacity = needed;
    }
    xml_escape_text(buffer, text, length, charset_is_utf8(c.Charset), keep_tags);
    return buffer;
}

bool write_heading(SearchContext &c, SearchRun &run) {
    const bool xml = c.g_xml_output != 0;
    GrowText suffix = {};
    if (!grow_text_reserve(suffix, 0)) {
        finish_search_error(c, kOutOfMemory, "</vesk:error>\n");
        return false;
    }
    if (xml) {
        print_xml_element(c, "vesk:searchquery", c.g_query_html);
    } else {
        section_printf(SECTION_HEADING, "<div class=\"searchheading\">%s %s",
                       text_of(c, STR_RESULTS_FOR), c.g_query_html);
    }
    bool ok = true;
    if (c.UseCats != 0 && all_categories_selected(c)) {
        if (xml)
            out_printf("<vesk:searchcategory>All</vesk:searchcategory>\n");
        else
            section_printf(SECTION_HEADING, " %s", text_of(c, STR_RESULTS_IN_ALL_CATEGORIES));
    } else if (c.UseCats != 0) {
        if (!xml) section_printf(SECTION_HEADING, " %s ", text_of(c, STR_RESULTS_IN_CATEGORY));
        for (int32_t i = 0; i < c.g_selected_cat_count; i++) {
            const int32_t cat = c.g_selected_cats[i];
            if (!category_in_range(c, cat)) continue;
            if (xml)
                print_xml_element(c, "vesk:searchcategory", category_name(c, cat));
            else
                section_printf(SECTION_HEADING, "%s\"%s\"", i != 0 ? ", " : "",
                               category_name(c, cat));
            ok = ok && grow_text_printf(suffix, "&amp;vesk_cat%%5B%%5D=%d", cat);
        }
    }
    run.category_link_suffix = suffix.bytes;
    if (!ok) {
        finish_search_error(c, kOutOfMemory, "</vesk:error>\n");
        return false;
    }
    if (!xml) {
        section_printf(SECTION_HEADING, "<br /><br /></div>\n");
        buffer_printf("<div class=\"results\">\n");
    }
    return true;
}

void encode_query_for_links(SearchContext &c) {
    snprintf(c.g_query_urlencoded, sizeof c.g_query_urlencoded, "%s", c.g_query_text);
    url_encode(c.g_query_urlencoded, sizeof c.g_query_urlencoded);
}

void write_skipped_notice(SearchContext &c, SearchRun &run) {
    if (c.g_skipped_word_count == 0) return;
    const char *words = c.g_skipped_words;
    if (c.g_xml_output) {
        out_printf("<vesk:summary>%s ", xml_text(c, text_of(c, STR_SKIPPED_FOLLOWING_WORDS)));
        // The list is the program's own markup around escaped words.
        out_printf("%s", xml_text(c, words, strlen(words), true));
        if (run.skipped_phrase) out_printf(" %s", xml_text(c, text_of(c, STR_SKIPPED_PHRASE)));
        out_printf("</vesk:summary>\n");
        return;
    }
    section_printf(SECTION_SUMMARY, "<div class=\"summary\">%s %s<br />\n",
                   text_of(c, STR_SKIPPED_FOLLOWING_WORDS), words);
    if (run.skipped_phrase)
        section_printf(SECTION_SUMMARY, "%s<br />\n", text_of(c, STR_SKIPPED_PHRASE));
    section_printf(SECTION_SUMMARY, "<br /></div>\n");
}

bool build_meta_link_suffix(SearchContext &c) {
    free(c.g_meta_link_suffix);
    c.g_meta_link_suffix = nullptr;
    GrowText suffix = {};
    bool ok = grow_text_reserve(suffix, 0);
    const int32_t fields =
        c.UseMetaFields == 1 && c.g_meta_values != nullptr ? defined_meta_field_count() : 0;
    for (int32_t i = 0; ok && i < fields; i++) {
        const MetaField &field = c.g_meta_fields[i];
        const char *value = c.g_meta_values[i];
        if (value == nullptr) continue;
        if (field.type == kMetaMultiple) {
            // A count byte, then one byte per chosen option (none: -1).
            const uint8_t *bytes = (const uint8_t *)value;
            for (int j = 1; ok && j <= bytes[0]; j++)
                ok = grow_text_printf(suffix, "&amp;%s[]=%d", field.name,
                                      bytes[j] == kNoChoice ? -1 : (int)bytes[j]);
        } else if (value[0] != '\0') {
            ok = grow_text_printf(suffix, "&amp;%s=", field.name) &&
                 grow_text_append_url_encoded(suffix, value);
        }
    }
    c.g_meta_link_suffix = suffix.bytes;
    if (!ok) finish_search_error(c, kOutOfMemory, "</vesk:error>\n");
    return ok;
}

void write_summary(SearchContext &c, SearchRun &run) {
    if (c.g_xml_output) {
        const int64_t start =
            c.g_page > 1 && run.match_count > 0 ? ((int64_t)c.g_page - 1) * c.g_per_page + 1 : 1;
        out_printf("<opensearch:totalResults>%u</opensearch:totalResults>\n", run.match_count);
        out_printf("<opensearch:startIndex>%lld</opensearch:startIndex>\n", (long long)start);
        out_printf("<opensearch:itemsPerPage>%d</opensearch:itemsPerPage>\n", c.g_per_page);
    } else {
        section_printf(SECTION_SUMMARY, "<div class=\"summary\">\n");
        if (c.g_search_cut_short)
            section_printf(SECTION_SUMMARY, "%s<br /><br />",
                           text_of(c, STR_PHRASE_CONTAINS_COMMON_WORDS));
        write_count_line(c, run);
        section_printf(SECTION_SUMMARY, "<br />\n</div>\n");
        if (run.match_count < kFewMatches) {
            if (c.g_match_all == 1 && c.g_query_word_count > 1)
                write_suggestion(c, run, kLinkAnyTerms, STR_ANY_OF_TERMS);
            else if (c.UseCats != 0 && !all_categories_selected(c))
                write_suggestion(c, run, kLinkAllCategories, STR_ALL_CATS);
        }
    }
    if (c.UseCats == 1 && c.DisplayCatSummary == 1 && run.category_counted &&
        run.category_counts != nullptr)
        write_category_summary(c, run);
}

void write_pages_and_sorting(SearchContext &c, SearchRun &run) {
    if (c.g_xml_output) return;
    const int64_t pages = result_page_count(c, run);
    if (pages > 1)
        section_printf(SECTION_PAGESCOUNT, "<div class=\"result_pagescount\"><br />%lld %s</div>\n",
                       (long long)pages, text_of(c, STR_PAGES_OF_RESULTS));
    if (run.match_count <= 1 || c.UseDateTime != 1) return;
    section_printf(SECTION_SORTING, "<div class=\"sorting\">");
    if (c.g_sort_order > 0) {
        write_anchor(c, run, SECTION_SORTING, kLinkSort, 0, text_of(c, STR_SORTBY_RELEVANCE));
        section_printf(SECTION_SORTING, " / ");
        const bool newest_first = c.g_sort_order == 1;
        write_anchor(c, run, SECTION_SORTING, kLinkSort, newest_first ? 2 : 1,
                     text_of(c, newest_first ? STR_SORTEDBY_DATE : STR_SORTEDBY_DATE_ASC));
    } else {
        section_printf(SECTION_SORTING, "<b>%s</b> / ", text_of(c, STR_SORTEDBY_RELEVANCE));
        write_anchor(c, run, SECTION_SORTING, kLinkSort, 1, text_of(c, STR_SORTBY_DATE));
    }
    section_printf(SECTION_SORTING, "</div>\n");
}

void write_page_numbers(SearchContext &c, SearchRun &run) {
    if (c.g_xml_output) return;
    const int64_t pages = result_page_count(c, run);
    const int64_t page = c.g_page;
    if (pages > 1) {
        const int64_t per_page = c.g_per_page > 0 ? c.g_per_page : 1;
        int64_t first = page - kPageWindowReach < 1 ? 1 : page - kPageWindowReach;
        int64_t last = page + kPageWindowReach;
        if (last > pages) last = pages;
        if (last > c.MaxResultsPerQuery / per_page) last = c.MaxResultsPerQuery / per_page;
        char label[kLabelSize];
        section_printf(SECTION_PAGENUMBERS, "<div class=\"result_pages\">%s ",
                       text_of(c, STR_RESULT_PAGES));
        if (page > 1) {
            snprintf(label, sizeof label, "&lt;&lt; %s", text_of(c, STR_RESULT_PAGES_PREVIOUS));
            write_anchor(c, run, SECTION_PAGENUMBERS, kLinkPage, page - 1, label);
            section_printf(SECTION_PAGENUMBERS, " ");
        }
        for (int64_t n = first; n <= last; n++) {
            if (n == page) {
                section_printf(SECTION_PAGENUMBERS, "%lld ", (long long)n);
                continue;
            }
            snprintf(label, sizeof label, "%lld", (long long)n);
            write_anchor(c, run, SECTION_PAGENUMBERS, kLinkPage, n, label);
            section_printf(SECTION_PAGENUMBERS, " ");
        }
        if (page != last) {
            snprintf(label, sizeof label, "%s &gt;&gt;", text_of(c, STR_RESULT_PAGES_NEXT));
            write_anchor(c, run, SECTION_PAGENUMBERS, kLinkPage, page + 1, label);
            section_printf(SECTION_PAGENUMBERS, " ");
        }
        section_printf(SECTION_PAGENUMBERS, "</div>");
    }
    if (c.VeskInfo == 1) write_powered_by_line();
    buffer_printf("</div>\n");
}
