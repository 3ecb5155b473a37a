// The result blocks of one result page, in HTML or as RSS items: link, image,
// title and categories, meta fields, description, context excerpt and the
// information line of every result shown.
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "context/xml_text.h"
#include "index/index.h"
#include "platform/platform.h"
#include "search/search.h"
#include "text/text.h"

const char kCorruptedIndexMessage[] =
    "Error: Corrupted or invalid index files. Please re-index and try again.";

namespace {
const char kInfoSeparator[] = "&nbsp; - &nbsp;";
const char kNewWindowTarget[] = "target=\"_blank\"";
const char kTruncationMark[] = "...";
const char *const kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char *const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr float kCentsPerUnit = 100.0f;       // money values are stored in cents
constexpr uint32_t kBytesPerKilobyte = 1024;  // file sizes are shown in kilobytes
constexpr size_t kShortestDescription = 3;    // shorter descriptions are not shown
// A result link: the page URL, a separator, the highlight parameter and the
// encoded query; or the URL, "#search=%22", the encoded query and "%22".
constexpr int kResultLinkSize = kPageDataUrlSize + 32 + kQueryUrlencodedSize;
// The URL shown in the information line: the longest page URL and the mark.
constexpr int kShownUrlSize = kPageDataUrlSize + sizeof kTruncationMark;

// What a block shows of its result.
struct Block {
    const SearchResult *result;
    int64_t position;  // 0-based over all result pages
    const uint8_t *record;
    uint8_t file_type;
    int32_t date;  // seconds since 1970
    uint32_t size;
    char url[kPageDataUrlSize];
    char title[kPageDataTitleSize];
    char description[kPageDataDescriptionSize];
    char image[kPageDataImageSize];
    char link[kResultLinkSize];
};

}  // namespace

const char *pdf_search_text(const SearchContext &c) {
    static char text[kQueryUrlencodedSize];
    char *out = text;
    for (const char *in = c.g_query_text; *in != '\0'; in++)
        if (*in != '"') *out++ = *in;
    *out = '\0';
    url_encode(text, sizeof text);
    // url_encode wrote every space as '+' (a '+' itself as %2B).
    replace_substrings("+", "%20", text, 0, sizeof text);
    return text;
}

const char *highlight_parameter(const SearchContext &c) {
    return c.SearchAsSubstring == 1 ? kHighlightSubParameter : kHighlightParameter;
}

void apply_pdf_highlight(const SearchContext &c, const char *url, char *link, size_t size) {
    if (c.PdfHighlight == 1 && find_text_nocase(link, kPdfExtension, 0) != nullptr)
        snprintf(link, size, "%s%s%s%s", url, kPdfFragmentOpen, pdf_search_text(c),
                 kPdfFragmentClose);
}

namespace {

void make_result_link(const SearchContext &c, Block &b) {
    if (c.GotoHighlight == 1)
        make_query_url(b.link, b.url, highlight_parameter(c), c.g_query_urlencoded, sizeof b.link);
    else
        snprintf(b.link, sizeof b.link, "%s", b.url);
    apply_pdf_highlight(c, b.url, b.link, sizeof b.link);
}

// Reads the page-info and page-data fields of the block's result. false when
// the index does not hold them.
bool read_block(const SearchContext &c, Block &b) {
    const uint32_t page = b.result->page;
    b.record = page_record(page);
    if (b.record == nullptr) return false;
    const int32_t big = c.UseBigPageInfoData;
    b.file_type = page_info_file_type(b.record, big);
    b.date = (int32_t)page_info_date(b.record, big);
    b.size = page_info_file_size(b.record, big);
    if (!read_page_data_fields(page, b.url, b.title, b.description, b.image)) return false;
    make_result_link(c, b);
    return true;
}

// The categories of the page: XML <category> elements, or " [name]" items.
void write_categories(const SearchContext &c, const Block &b, bool xml) {
    const uint8_t *bitmap = page_category_bitmap(b.result->page);
    if (!xml) buffer_printf("<span class=\"category\">");
    for (int32_t cat = 0; cat < c.NumCats; cat++) {
        if (page_in_category(cat, bitmap) == 0) continue;
        if (xml)
            out_printf("<category>%s</category>\n", xml_text(c, category_name(c, cat)));
        else
            buffer_printf(" [%s]", category_name(c, cat));
    }
    if (!xml) buffer_printf("</span>");
}

void write_title(SearchContext &c, const Block &b, bool xml) {
    if (xml) {
        out_printf("<title>%s</title>\n", xml_text(c, b.title));
        out_printf("<link>%s</link>\n", xml_text(c, b.link));
        if (c.UseCats != 0) write_categories(c, b, true);
        out_printf("<vesk:filetype>%d</vesk:filetype>\n", b.file_type);
        return;
    }
    buffer_printf("<div class=\"result_title\">");
    if (c.DisplayNumber == 1) buffer_printf("<b>%lld.</b>&nbsp;", (long long)b.position + 1);
    buffer_printf("<a href=\"%s\" %s>", b.link, c.g_plugin_target_attr);
    if (c.DisplayTitle == 1)
        highlight_terms(c, b.title, kResultsBufferTarget);
    else
        buffer_printf("%s", b.url);
    buffer_printf("</a>");
    if (c.UseCats != 0) write_categories(c, b, false);
    buffer_printf("</div>\n");
}

// One meta value in XML: an element named after the field.
void print_meta_element(const SearchContext &c, const MetaField &field, const char *format, ...)
    __attribute__((format(printf, 3, 4)));
void print_meta_element(const SearchContext &c, const MetaField &field, const char *format, ...) {
    // An element name must be a name; a field whose name is none is left out.
    if (!is_xml_name_part(field.name)) return;
    char value[kFormatBufferSize];
    va_list args;
    va_start(args, format);
    vsnprintf(value, sizeof value, format, args);
    va_end(args);
    out_printf("<vesk:%s>%s</vesk:%s>\n", field.name, xml_text(c, value), field.name);
}

const char *option_text(const MetaField &field, uint32_t option) {
    if (field.options == nullptr || option >= (uint32_t)field.option_count) return nullptr;
    return field.options[option] != nullptr ? field.options[option] : "";
}

// Whether the field's value shows anything.
bool meta_value_shown(const MetaField &field, const PageMetaValue &v) {
    if (!v.present) return false;
    if (field.type == kMetaDropDown) return option_text(field, v.number) != nullptr;
    return true;
}

void write_meta_value_xml(const SearchContext &c, const MetaField &field, const PageMetaValue &v) {
    if (field.type == kMetaText) {
        if (!is_xml_name_part(field.name)) return;
        out_printf("<vesk:%s>%s</vesk:%s>\n", field.name,
                   xml_text(c, (const char *)v.bytes, v.length), field.name);
    } else if (field.type == kMetaDropDown) {
        print_meta_element(c, field, "%s", option_text(field, v.number));
    } else if (field.type == kMetaMultiple) {
        for (uint32_t j = 0; j < v.length; j++) {
            const char *text = option_text(field, v.bytes[j]);
            if (text != nullptr) print_meta_element(c, field, "%s", text);
        }
    } else if (field.type == kMetaMoney && c.MetaMoneyShowDec != 0) {
        print_meta_element(c, field, "%s%01.2f", c.MetaMoneyCurrency,
                           (double)((float)v.number / kCentsPerUnit));
    } else if (field.type == kMetaMoney) {
        print_meta_element(c, field, "%s%u", c.MetaMoneyCurrency, v.number);
    } else {
        print_meta_element(c, field, "%u", v.number);
    }
}

void write_meta_value_html(const SearchContext &c, const MetaField &field, const PageMetaValue &v) {
    buffer_printf("<div class=\"result_custommeta\"><span class=\"result_metaname_%s\">%s: </span>",
                  field.name, field.caption);
    buffer_printf("<span class=\"result_metavalue_%s\">", field.name);
    if (field.type == kMetaText) {
        buffer_printf("%.*s", (int)v.length, (const char *)v.bytes);
    } else if (field.type == kMetaDropDown) {
        buffer_printf("%s", option_text(field, v.number));
    } else if (field.type == kMetaMultiple) {
        for (uint32_t j = 0; j < v.length; j++) {
            const char *text = option_text(field, v.bytes[j]);
            if (text != nullptr) buffer_printf("%s%s", j != 0 ? ", " : "", text);
        }
    } else if (field.type == kMetaMoney && c.MetaMoneyShowDec != 0) {
        buffer_printf("%s%01.2f", c.MetaMoneyCurrency, (double)((float)v.number / kCentsPerUnit));
    } else if (field.type == kMetaMoney) {
        buffer_printf("%s%u", c.MetaMoneyCurrency, v.number);
    } else {
        buffer_printf("%u", v.number);
    }
    buffer_printf("</span></div>");
}

void write_meta_fields(const SearchContext &c, const Block &b, bool xml) {
    const int32_t fields = page_meta_field_count();
    for (int32_t i = 0; i < fields; i++) {
        PageMetaValue v;
        if (!page_meta_value(b.result->page, i, &v)) return;
        const MetaField &field = c.g_meta_fields[i];
        if (!meta_value_shown(field, v)) continue;
        if (xml)
            write_meta_value_xml(c, field, v);
        else
            write_meta_value_html(c, field, v);
    }
}

// Starts the next part of the HTML information line.
void start_info_part(bool &started) {
    if (started) buffer_printf("%s", kInfoSeparator);
    started = true;
}

void write_date(const SearchContext &c, const Block &b, bool xml, bool &started) {
    if (b.date <= 0) return;
    const UtcTime t = platform_utc_time(b.date);
    const int year = (int)t.year;
    if (xml) {
        out_printf("<pubDate>%s, %02d %s %04d %02d:%02d:%02d UTC</pubDate>\n", kWeekdays[t.weekday],
                   t.day, kMonths[t.month], year, t.hour, t.minute, t.second);
        if (c.g_masternode != 0) out_printf("<vesk:datetime>%d</vesk:datetime>\n", b.date);
        return;
    }
    start_info_part(started);
    buffer_printf("%02d %s %04d", t.day, kMonths[t.month], year);
}

// The URL as the information line shows it: cut to TruncateShowURL
// characters (never inside a UTF-8 character) and marked when longer.
const char *shown_url(const SearchContext &c, const Block &b) {
    static char shown[kShownUrlSize];
    const size_t length = strlen(b.url);
    if (c.TruncateShowURL <= 0 || length <= (size_t)c.TruncateShowURL) return b.url;
    copy_bounded_utf8(shown, c.TruncateShowURL + 1, b.url);
    strcat(shown, kTruncationMark);
    return shown;
}

// One number of the information line: a vesk: element, or "label value".
void write_info_number(bool xml, bool &started, const char *element, const char *label,
                       uint32_t value) {
    if (xml) {
        out_printf("<vesk:%s>%u</vesk:%s>\n", element, value, element);
        return;
    }
    start_info_part(started);
    buffer_printf("%s %u", label, value);
}

void write_info_line(SearchContext &c, const Block &b, bool xml) {
    bool started = false;
    if (!xml) buffer_printf("<div class=\"infoline\">");
    if (c.DisplayTerms == 1)
        write_info_number(xml, started, "termsMatched", c.g_str_texts[STR_RESULT_TERMS_MATCHED],
                          b.result->hits);
    if (c.DisplayScore == 1)
        write_info_number(xml, started, "score", c.g_str_texts[STR_RESULT_SCORE],
                          b.result->final_score);
    if (c.DisplayDate == 1) write_date(c, b, xml, started);
    if (c.DisplayFilesize == 1) {
        // Whole kilobytes, at least 1, in both modes: the figure carries the
        // unit "k" in XML as on the page.
        const uint32_t counted = b.size / kBytesPerKilobyte;
        const uint32_t kilobytes = counted > 0 ? counted : 1;
        if (xml) {
            out_printf("<vesk:fileSize>%uk</vesk:fileSize>\n", kilobytes);
        } else {
            start_info_part(started);
            buffer_printf("%uk", kilobytes);
        }
    }
    if (c.DisplayURL == 1 && !xml) {
        start_info_part(started);
        buffer_printf("%s %s", c.g_str_texts[STR_RESULT_URL], shown_url(c, b));
    }
    if (!xml) buffer_printf("</div>\n");
}

void write_block(SearchContext &c, SearchRun &run, const Block &b) {
    const bool xml = c.g_xml_output != 0;
    if (xml)
        out_printf("<item>\n");
    else
        buffer_printf(b.position % 2 == 0 ? "<div class=\"result_block\">\n"
                                          : "<div class=\"result_altblock\">\n");
    if (c.PluginOpenNewWindow == 1 && b.file_type >= c.FileTypePluginStart)
        snprintf(c.g_plugin_target_attr, sizeof c.g_plugin_target_attr, "%s", kNewWindowTarget);
    else
        snprintf(c.g_plugin_target_attr, sizeof c.g_plugin_target_attr, "%s", c.g_link_target_attr);
    if (c.UseVeskImage == 1 && b.image[0] != '\0') {
        if (xml)
            out_printf("<vesk:imageURL>%s</vesk:imageURL>", xml_text(c, b.image));
        else
            buffer_printf(
                "<div class=\"result_image\"><a href=\"%s\" %s><img src=\"%s\" alt=\"\" "
                "class=\"result_image\" /></a></div>",
                b.link, c.g_plugin_target_attr, b.image);
    }
    write_title(c, b, xml);
    if (c.UseMetaFields == 1 && c.DisplayMetaFields == 1) write_meta_fields(c, b, xml);
    if (c.DisplayMetaDesc == 1 && strlen(b.description) >= kShortestDescription) {
        if (xml) {
            out_printf("<description>%s</description>\n", xml_text(c, b.description));
        } else {
            buffer_printf("<div class=\"description\">");
            highlight_terms(c, b.description, kResultsBufferTarget);
            buffer_printf("</div>\n");
        }
    }
    if (c.DisplayContext == 1 && !c.g_meta_only_search)
        write_context_excerpt(c, run, *b.result, b.title);
    write_info_line(c, b, xml);
    if (xml)
        out_printf("</item>\n");
    else
        buffer_printf("</div>\n");
}
}  // namespace

bool write_result_blocks(SearchContext &c, SearchRun &run) {
    static Block block;
    const int64_t per_page = c.g_per_page > 0 ? c.g_per_page : 1;
    const int64_t first = ((int64_t)c.g_page - 1) * per_page;
    for (int64_t slot = 0; slot < per_page; slot++) {
        const SearchResult *result = result_for_slot(c, run, (uint32_t)slot);
        if (result == nullptr) break;
        block.result = result;
        block.position = first + slot;
        if (!read_block(c, block)) {
            finish_search_error(c, kCorruptedIndexMessage, "</vesk:error>\n");
            return false;
        }
        write_block(c, run, block);
    }
    return true;
}
