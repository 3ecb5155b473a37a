// The first half of every page: the request copied into the context, the HTTP
// header, the XML/RSS head, the search form, and the early ends of a page (empty
// query, page beyond the result limit, Unicode tables that cannot be loaded).
#include <stdlib.h>
#include <string.h>

#include "context/context.h"
#include "index/index.h"
#include "request/request.h"
#include "text/text.h"

namespace {
constexpr int kDefaultPerPage = 10;              // results per page when the request gives none
constexpr int kEscapedMetaValueSize = 65585;     // an escaped meta-field text value
constexpr int kMetaIdSize = kMetaTextSize + 16;  // "vesk_metaform_" + field name

const char kOpenSearchNamespace[] = "http://a9.com/-/spec/opensearch/1.1/";
const char kAtomNamespace[] = "http://www.w3.org/2005/Atom";
const char kVeskNamespace[] = "https://www.orlatine.com/vesk/response/5.0/schema/";

void copy_request(SearchContext &c, const RequestParams &r) {
    static_assert(sizeof c.g_remote_addr == sizeof r.remote_addr, "same address field");
    memcpy(c.g_remote_addr, r.remote_addr, sizeof c.g_remote_addr);
    c.g_remote_addr[sizeof c.g_remote_addr - 1] = '\0';
    c.g_query_given = r.query_given;
    snprintf(c.g_query_text, sizeof c.g_query_text, "%s", r.query);
    c.g_per_page = r.per_page >= 1 ? r.per_page : kDefaultPerPage;
    c.g_page_not_given = r.page_not_given;
    c.g_page = r.page;
    c.g_masternode = r.masternode_flag;
    c.g_sort_order = r.sort_order;
    c.g_match_all = r.match_all;
    snprintf(c.g_script_url, sizeof c.g_script_url, "%s", r.script_url);
    copy_bounded_utf8(c.g_date_from, sizeof c.g_date_from, r.date_from);
    copy_bounded_utf8(c.g_date_to, sizeof c.g_date_to, r.date_to);
    c.g_selected_cats = r.selected_cats;
    c.g_selected_cat_count = r.selected_cat_count;
    c.g_meta_values = r.meta_values;
    c.g_meta_value_count = r.meta_value_count;
    c.g_ltime_from = r.ltime_from;
    c.g_ltime_to = r.ltime_to;
    if (r.autocomplete != 0) c.SearchAsSubstring = 1;
}

void print_xml_head(SearchContext &c) {
    out_printf("<?xml version=\"1.0\" encoding=\"%s\"?>\n", c.Charset);
    if (c.XMLXSLTURL[0] != '\0')
        out_printf("<?xml-stylesheet type=\"text/xsl\" href=\"%s\"?>\n", c.XMLXSLTURL);
    out_printf("<!--Vesk Search Engine %s-->\n", c.Version);
    out_printf(
        "<rss version=\"2.0\" xmlns:opensearch=\"%s\" xmlns:atom=\"%s\" xmlns:vesk=\"%s\">\n",
        kOpenSearchNamespace, kAtomNamespace, kVeskNamespace);
    out_printf("<channel>\n");
    out_printf("<title>%s</title>\n", c.XMLTitle);
    out_printf("<description>%s</description>\n", c.XMLDesc);
    out_printf("<link>%s</link>\n", c.XMLURL);
    if (c.XMLOpenSearchDescURL[0] != '\0')
        out_printf(
            "<opensearch:link rel=\"search\" href=\"%s\" "
            "type=\"application/opensearchdescription+xml\" />\n",
            c.XMLOpenSearchDescURL);
    if (c.g_masternode == 1) print_settings_xml();
    if (c.XMLHighlight == 1) c.Highlighting = 1;
}

void write_per_page_choices(const SearchContext &c) {
    section_printf(
        SECTION_RESULTSPERPAGE,
        "<span class=\"vesk_results_per_page\"><label for=\"vesk_per_page\">%s</label>\n",
        text_of(g_search_context, STR_FORM_RESULTS_PER_PAGE));
    section_printf(SECTION_RESULTSPERPAGE,
                   "<select name=\"vesk_per_page\" id=\"vesk_per_page\">\n");
    for (int i = 0; i < kPerPageChoiceCount && c.g_per_page_choices[i] != -1; i++) {
        int32_t choice = c.g_per_page_choices[i];
        section_printf(SECTION_RESULTSPERPAGE, "<option%s>%d</option>\n",
                       choice == c.g_per_page ? " selected=\"selected\"" : "", choice);
    }
    section_printf(SECTION_RESULTSPERPAGE, "</select><br /><br /></span>\n");
}

bool category_selected(const SearchContext &c, int32_t category) {
    if (c.g_selected_cats == nullptr || c.g_selected_cats[0] == -1) return false;
    for (int32_t i = 0; i < c.g_selected_cat_count; i++)
        if (c.g_selected_cats[i] == category) return true;
    return false;
}

void write_categories(const SearchContext &c) {
    section_printf(SECTION_CATEGORIES,
                   "<span class=\"vesk_categories\"><label for=\"vesk_cat\">%s</label>",
                   text_of(g_search_context, STR_FORM_CATEGORY));
    int32_t first = c.g_selected_cats != nullptr ? c.g_selected_cats[0] : -1;
    if (c.SearchMultiCats != 0) {
        section_printf(SECTION_CATEGORIES, "<ul>\n");
        section_printf(SECTION_CATEGORIES,
                       "<li><input type=\"checkbox\" name=\"vesk_cat[]\" id=\"vesk_cat-1\" "
                       "value=\"-1\"%s><label for=\"vesk_cat-1\">%s</label></input></li>\n",
                       first == -1 ? " checked=\"checked\"" : "",
                       text_of(g_search_context, STR_FORM_CATEGORY_ALL));
        for (int32_t cat = 0; cat < c.NumCats; cat++)
            section_printf(SECTION_CATEGORIES,
                           "<li><input type=\"checkbox\" name=\"vesk_cat[]\" id=\"vesk_cat%d\" "
                           "value=\"%d\"%s /><label for=\"vesk_cat%d\">%s</label></li>\n",
                           cat, cat, category_selected(c, cat) ? " checked=\"checked\"" : "", cat,
                           category_name(c, cat));
        section_printf(SECTION_CATEGORIES, "</ul><br /><br /></span>\n");
    } else {
        section_printf(SECTION_CATEGORIES, "<select name=\"vesk_cat[]\" id=\"vesk_cat\">");
        section_printf(SECTION_CATEGORIES, "<option value=\"-1\">%s</option>",
                       text_of(g_search_context, STR_FORM_CATEGORY_ALL));
        for (int32_t cat = 0; cat < c.NumCats; cat++)
            section_printf(SECTION_CATEGORIES, "<option value=\"%d\"%s>%s</option>", cat,
                           cat == first ? " selected=\"selected\"" : "", category_name(c, cat));
        section_printf(SECTION_CATEGORIES, "</select>&nbsp;&nbsp;\n");
        section_printf(SECTION_CATEGORIES, "</span>\n");
    }
}

void write_options(const MetaField &field, int32_t selected_single, const unsigned char *multi) {
    section_printf(SECTION_CUSTOMMETAOPTIONS, "<option value=\"-1\">%s</option>",
                   text_of(g_search_context, STR_FORM_CATEGORY_ALL));
    if (field.options == nullptr) return;
    for (int32_t k = 0; k < field.option_count; k++) {
        section_printf(SECTION_CUSTOMMETAOPTIONS, "<option value=\"%d\"", k);
        if (multi == nullptr) {
            if (k == selected_single)
                section_printf(SECTION_CUSTOMMETAOPTIONS, " selected=\"selected\"");
        } else {
            int count = (signed char)multi[0];
            for (int b = 1; b <= count; b++)
                if ((signed char)multi[b] == k)
                    section_printf(SECTION_CUSTOMMETAOPTIONS, " selected=\"selected\"");
        }
        section_printf(SECTION_CUSTOMMETAOPTIONS, ">%s</option>",
                       field.options[k] != nullptr ? field.options[k] : "");
    }
}

// The request's value of meta field i, or null when it sent none.
const char *meta_request_value(const SearchContext &c, int32_t i) {
    if (c.g_meta_values == nullptr || i >= g_request.meta_value_count) return nullptr;
    return c.g_meta_values[i];
}

// A text box of 20 characters for a numeric or text field, of class
// "vesk_metaform_" and `kind`.
void write_text_input(const MetaField &field, const char *id, const char *escaped,
                      const char *kind) {
    section_printf(SECTION_CUSTOMMETAOPTIONS,
                   "<label for=\"%s\">%s: </label><input type=\"text\" id=\"%s\" "
                   "name=\"%s\" size=\"20\" value=\"%s\" class=\"vesk_metaform_%s\" />\n",
                   id, field.label, id, field.name, escaped, kind);
}

// The form control of one meta field (element id `id`) with the request's
// value (escaped for the text kinds, "" when none).
void write_meta_control(const SearchContext &c, const MetaField &field, const char *id,
                        const char *value, const char *escaped) {
    switch (field.type) {
        case kMetaNumeric:
            write_text_input(field, id, escaped, "numeric");
            break;
        case kMetaDropDown:
            section_printf(SECTION_CUSTOMMETAOPTIONS,
                           "<label for=\"%s\">%s: </label><select name=\"%s\" id=\"%s\" "
                           "class=\"vesk_metaform_dropdown\">\n",
                           id, field.label, field.name, id);
            write_options(field, value[0] != '\0' ? lenient_atoi(value) : -1, nullptr);
            section_printf(SECTION_CUSTOMMETAOPTIONS, "</select>\n");
            break;
        case kMetaMultiple:
            section_printf(SECTION_CUSTOMMETAOPTIONS,
                           "<label for=\"%s\">%s: </label><select multiple id=\"%s\" "
                           "name=\"%s[]\" class=\"vesk_metaform_multi\">\n",
                           id, field.label, id, field.name);
            write_options(field, -1, (const unsigned char *)value);
            section_printf(SECTION_CUSTOMMETAOPTIONS, "</select>&nbsp;&nbsp;\n");
            break;
        case kMetaMoney:
            section_printf(SECTION_CUSTOMMETAOPTIONS,
                           "<label for=\"%s\">%s: </label>%s<input type=\"text\" id=\"%s\" "
                           "name=\"%s\" size=\"7\" value=\"%s\" "
                           "class=\"vesk_metaform_money\" />\n",
                           id, field.label, c.MetaMoneyCurrency, id, field.name, escaped);
            break;
        default:
            write_text_input(field, id, escaped, "text");
            break;
    }
}

void write_meta_fields(const SearchContext &c) {
    section_printf(SECTION_CUSTOMMETAOPTIONS, "<span class=\"vesk_metaform\">\n");
    int32_t fields = defined_meta_field_count();
    static char escaped[kEscapedMetaValueSize];
    for (int32_t i = 0; i < fields; i++) {
        const MetaField &field = c.g_meta_fields[i];
        const char *sent = meta_request_value(c, i);
        // A multiple choice's value is its option bytes: none sent is no choice.
        const char *value = sent != nullptr ? sent : "";
        char id[kMetaIdSize];
        snprintf(id, sizeof id, "vesk_metaform_%s", field.name);
        if (field.type != kMetaMultiple) {
            snprintf(escaped, sizeof escaped, "%s", value);
            escape_html(escaped, sizeof escaped);
        }
        write_meta_control(c, field, id, value, escaped);
    }
    section_printf(SECTION_CUSTOMMETAOPTIONS, "</span>\n");
}

void write_match_options(const SearchContext &c) {
    section_printf(SECTION_MATCHOPTIONS, "<span class=\"vesk_match\">%s\n",
                   text_of(g_search_context, STR_FORM_MATCH));
    const char *checked = " checked=\"checked\"";
    section_printf(SECTION_MATCHOPTIONS,
                   "<label for=\"vesk_match_any\"><input type=\"radio\" id=\"vesk_match_any\" "
                   "name=\"vesk_and\" value=\"0\"%s />%s</label>\n",
                   c.g_match_all ? "" : checked,
                   text_of(g_search_context, STR_FORM_ANY_SEARCH_WORDS));
    section_printf(SECTION_MATCHOPTIONS,
                   "<label for=\"vesk_match_all\"><input type=\"radio\" id=\"vesk_match_all\" "
                   "name=\"vesk_and\" value=\"1\"%s />%s</label>\n",
                   c.g_match_all ? checked : "",
                   text_of(g_search_context, STR_FORM_ALL_SEARCH_WORDS));
}

void write_date_range(const SearchContext &c) {
    const char *format = c.DateRangeFormat == 1 ? "mdy" : "dmy";
    // The dates come from the request: escaped like every other request text.
    char from[kDateSize * 6], to[kDateSize * 6];
    snprintf(from, sizeof from, "%s", c.g_date_from);
    snprintf(to, sizeof to, "%s", c.g_date_to);
    escape_html(from, sizeof from);
    escape_html(to, sizeof to);
    section_printf(SECTION_DATERANGE, "<span class=\"vesk_daterange\">\n");
    const struct {
        const char *name;
        int label;
        const char *value;
    } fields[] = {{"vesk_datefrom", STR_FORM_DATE_FROM, from},
                  {"vesk_dateto", STR_FORM_DATE_TO, to}};
    for (const auto &field : fields)
        section_printf(SECTION_DATERANGE,
                       "<label for=\"%s\">%s </label><input id=\"%s\" name=\"%s\" value=\"%s\">"
                       "<input type=\"button\" value=\"%s\" onclick=\"displayDatePicker('%s', "
                       "false, '%s');\" />",
                       field.name, text_of(g_search_context, field.label), field.name, field.name,
                       field.value, text_of(g_search_context, STR_FORM_DATE_BUTTON), field.name,
                       format);
    section_printf(SECTION_DATERANGE, "</span>\n");
}

void write_search_form(const SearchContext &c) {
    section_printf(SECTION_FORMSTART,
                   "<form method=\"get\" action=\"%s\" class=\"vesk_searchform\">\n",
                   c.LinkBackURL);
    section_printf(SECTION_FORMEND, "</form>\n");
    section_printf(SECTION_SEARCHBOX,
                   "<label for=\"vesk_searchbox\">%s</label><input type=\"text\" "
                   "name=\"vesk_query\" size=\"20\" value=\"%s\" id=\"vesk_searchbox\" "
                   "class=\"vesk_searchbox\" />\n",
                   text_of(g_search_context, STR_FORM_SEARCHFOR), c.g_query_html);
    section_printf(SECTION_SEARCHBUTTON,
                   "<input type=\"submit\" value=\"%s\" class=\"vesk_button\" />\n",
                   text_of(g_search_context, STR_FORM_SUBMIT_BUTTON));
    const char *hidden = "<input type=\"hidden\" name=\"%s\" value=\"%d\" />\n";
    if (c.FormFormat != 2) {
        section_printf(SECTION_FORMSTART, hidden, "vesk_per_page", c.g_per_page);
        section_printf(SECTION_FORMSTART, hidden, "vesk_and", c.g_match_all);
        section_printf(SECTION_FORMSTART, hidden, "vesk_sort", c.g_sort_order);
        section_printf(SECTION_FORMSTART, hidden, "vesk_xml", c.g_xml_output);
        return;
    }
    write_per_page_choices(c);
    if (c.UseCats != 0) write_categories(c);
    if (c.UseMetaFields != 0) write_meta_fields(c);
    write_match_options(c);
    section_printf(SECTION_FORMSTART, hidden, "vesk_sort", c.g_sort_order);
    section_printf(SECTION_FORMSTART, hidden, "vesk_xml", c.g_xml_output);
    section_printf(SECTION_MATCHOPTIONS, "<br /><br /></span>\n");
    if (c.DateRangeSearch == 1) write_date_range(c);
}

// Chooses XML or HTML for the answer and writes the Content-type header.
void write_content_type(SearchContext &c, const RequestParams &request) {
    // Every nonzero request value asks for XML; kept as 1, so that the head, the
    // form and the closing of the document all follow the same choice.
    if (request.xml == PARAM_NOT_GIVEN)
        c.g_xml_output = c.UseXML == 1 ? 1 : 0;
    else
        c.g_xml_output = request.xml != 0 ? 1 : 0;
    // Autocomplete items are HTML for the page's script, whatever the settings say.
    if (request.autocomplete != 0) c.g_xml_output = 0;
    snprintf(c.g_content_type, sizeof c.g_content_type, "%s",
             c.g_xml_output ? "text/xml" : "text/html");
    if (c.NoCharset != 0)
        out_printf("Content-type: %s;\n\n", c.g_content_type);
    else
        out_printf("Content-type: %s; charset=%s\n\n", c.g_content_type, c.Charset);
}

// Results per page within 1..MaxResultsPerQuery, match-all by default from
// the settings, and the result links' target attribute.
void settle_result_options(SearchContext &c) {
    if (c.g_per_page > c.MaxResultsPerQuery) c.g_per_page = c.MaxResultsPerQuery;
    if (c.g_per_page < 1) c.g_per_page = 1;
    if (c.g_match_all == PARAM_NOT_GIVEN) c.g_match_all = c.DefaultToAnd == 1 ? 1 : 0;
    c.g_plugin_target_attr[0] = '\0';
    if (c.UseLinkTarget == 1)
        if (snprintf(c.g_link_target_attr, sizeof c.g_link_target_attr, "target=\"%s\"",
                     c.LinkTarget) >= (int)sizeof c.g_link_target_attr)
            c.g_link_target_attr[0] = '\0';  // a cut attribute would break the markup
}

}  // namespace

int begin_page(SearchContext *context, RequestParams *request) {
    SearchContext &c = *context;
    if (g_timer_start == 0) g_timer_start = timer_now();
    copy_request(c, *request);

    write_content_type(c, *request);
    settle_result_options(c);

    // The query is searched as it came in either mode; XML text drops its
    // control bytes where it is written (xml_text).
    snprintf(c.g_query_html, sizeof c.g_query_html, "%s", c.g_query_text);
    escape_html(c.g_query_html, sizeof c.g_query_html);

    if (c.g_xml_output == 1)
        print_xml_head(c);
    else
        buffer_printf("<!--Vesk Search Engine %s-->\n", c.Version);

    if (c.FormFormat >= 1 && c.g_xml_output == 0) write_search_form(c);

    if (c.g_query_text[0] == '\0' && request->autocomplete == 0) {
        bool meta_only = c.UseMetaFields != 0 && c.g_query_given;
        if (meta_only) {
            c.g_meta_only_search = 1;
        } else {
            if (c.UseMetaFields == 0 && c.g_query_given == 1)
                section_printf(SECTION_SUMMARY, "<div class=\"summary\">%s</div>\n",
                               text_of(g_search_context, STR_NO_QUERY));
            if (c.VeskInfo == 1) write_powered_by_line();
            return finish_page_after_error(nullptr, "");
        }
    }

    // The page limit, in 64 bits: no page before the first, none past the results.
    int64_t first_result = ((int64_t)c.g_page - 1) * (int64_t)c.g_per_page;
    if (c.g_page < 1 || first_result >= (int64_t)c.MaxResultsPerQuery) {
        if (c.g_xml_output)
            print_error_message(text_of(g_search_context, STR_MAX_RESULTS), "</vesk:error>");
        else
            buffer_printf("%s<br />", text_of(g_search_context, STR_MAX_RESULTS));
        return finish_page_after_error(nullptr, "");
    }

    if (c.UseUTF8 == 1 && load_unicode_tables() != 0)
        return finish_page_after_error("Error loading in UTF8 data.", "</vesk:error>");

    normalize_query(&c);
    split_query_words(&c);
    return 1;
}
