// Page assembly: streams search_template.html with the generated fragments at
// the program's markers and the page scripts before "</head>".
#include <string.h>

#include "context/context.h"
#include "platform/platform.h"

namespace {
constexpr int kTemplatePieceSize = 1024;  // one read: at most 1023 characters
constexpr size_t kCarrySize = 64;         // held-back end of a piece: shorter than every marker

const char kMarkerPrefix[] = "<!--VESK";
const char kSearchMarker[] = "<!--VESKSEARCH-->";
const char kSearchFormMarker[] = "<!--VESK_SHOW_SEARCHFORM-->";
const char kResultsMarker[] = "<!--VESK_SHOW_RESULTS-->";
const char kQueryMarker[] = "<!--VESK_SHOW_QUERY-->";
const char kHeadClose[] = "</head>";

// The marker of each output section.
struct SectionMarker {
    OutputSection section;
    const char *marker;
};
const SectionMarker kSectionMarkers[] = {
    {SECTION_FORMSTART, "<!--VESK_SHOW_FORMSTART-->"},
    {SECTION_FORMEND, "<!--VESK_SHOW_FORMEND-->"},
    {SECTION_SEARCHBOX, "<!--VESK_SHOW_SEARCHBOX-->"},
    {SECTION_SEARCHBUTTON, "<!--VESK_SHOW_SEARCHBUTTON-->"},
    {SECTION_RESULTSPERPAGE, "<!--VESK_SHOW_RESULTSPERPAGE-->"},
    {SECTION_MATCHOPTIONS, "<!--VESK_SHOW_MATCHOPTIONS-->"},
    {SECTION_CATEGORIES, "<!--VESK_SHOW_CATEGORIES-->"},
    {SECTION_CUSTOMMETAOPTIONS, "<!--VESK_SHOW_CUSTOMMETAOPTIONS-->"},
    {SECTION_HEADING, "<!--VESK_SHOW_HEADING-->"},
    {SECTION_SUMMARY, "<!--VESK_SHOW_SUMMARY-->"},
    {SECTION_SUGGESTION, "<!--VESK_SHOW_SUGGESTION-->"},
    {SECTION_PAGESCOUNT, "<!--VESK_SHOW_PAGESCOUNT-->"},
    {SECTION_SORTING, "<!--VESK_SHOW_SORTING-->"},
    {SECTION_SEARCHTIME, "<!--VESK_SHOW_SEARCHTIME-->"},
    {SECTION_RECOMMENDED, "<!--VESK_SHOW_RECOMMENDED-->"},
    {SECTION_PAGENUMBERS, "<!--VESK_SHOW_PAGENUMBERS-->"},
    {SECTION_CATSUMMARY, "<!--VESK_SHOW_CATSUMMARY-->"},
    {SECTION_JAVASCRIPTS, "<!--VESK_SHOW_JAVASCRIPTS-->"},
    {SECTION_DATERANGE, "<!--VESK_SHOW_DATERANGE-->"},
};
static_assert(sizeof kSectionMarkers / sizeof kSectionMarkers[0] == kSectionCount,
              "the template has one marker per section");

// Sections printed by the whole search block, around the results buffer.
const OutputSection kSearchBlockBefore[] = {
    SECTION_HEADING,    SECTION_SUMMARY,     SECTION_CATSUMMARY, SECTION_SUGGESTION,
    SECTION_PAGESCOUNT, SECTION_RECOMMENDED, SECTION_SORTING};
const OutputSection kSearchBlockAfter[] = {SECTION_PAGENUMBERS, SECTION_SEARCHTIME};
// Sections of the search form, in print order.
const OutputSection kSearchFormSections[] = {
    SECTION_JAVASCRIPTS,    SECTION_FORMSTART,    SECTION_SEARCHBOX,  SECTION_SEARCHBUTTON,
    SECTION_RESULTSPERPAGE, SECTION_MATCHOPTIONS, SECTION_CATEGORIES, SECTION_CUSTOMMETAOPTIONS,
    SECTION_DATERANGE,      SECTION_FORMEND};

const char kLoadHandler[] = "function() { VeskAutoComplete_OnLoad('vesk_searchbox');}";

void print_section(OutputSection section) {
    const SearchContext &c = g_search_context;
    if (c.g_section_texts != nullptr && c.g_section_texts[section] != nullptr)
        out_puts(c.g_section_texts[section]);
}

void print_results_buffer() {
    if (g_search_context.g_result_buffer != nullptr) out_puts(g_search_context.g_result_buffer);
}

bool starts_with(const char *text, const char *prefix) {
    return strncmp(text, prefix, strlen(prefix)) == 0;
}

// Writes text as a JavaScript string body that is safe inside an HTML script
// element: backslash, quotes, '<' and control characters become escapes.
void print_javascript_string(const char *text) {
    for (const unsigned char *p = (const unsigned char *)text; *p != '\0'; p++) {
        if (*p == '\\' || *p == '"' || *p == '\'' || *p == '<' || *p == '>' || *p < 0x20 ||
            *p == 0x7F)
            out_printf("\\x%02X", *p);
        else
            fputc(*p, stdout);
    }
}

// Prints the marker's fragment when the text at `marker` is one of the markers;
// returns the marker's length, or 0 when it is none of them.
size_t print_marker(const char *marker) {
    if (starts_with(marker, kSearchMarker)) {
        print_search_form();
        for (OutputSection section : kSearchBlockBefore) print_section(section);
        print_results_buffer();
        for (OutputSection section : kSearchBlockAfter) print_section(section);
        return strlen(kSearchMarker);
    }
    if (starts_with(marker, kSearchFormMarker)) {
        print_search_form();
        return strlen(kSearchFormMarker);
    }
    if (starts_with(marker, kResultsMarker)) {
        print_results_buffer();
        return strlen(kResultsMarker);
    }
    if (starts_with(marker, kQueryMarker)) {
        if (g_search_context.g_query_html[0] != '\0') out_puts(g_search_context.g_query_html);
        return strlen(kQueryMarker);
    }
    for (const SectionMarker &entry : kSectionMarkers) {
        if (starts_with(marker, entry.marker)) {
            print_section(entry.section);
            return strlen(entry.marker);
        }
    }
    return 0;
}

// The streaming state of the template: whether the page scripts are due and
// printed, and the end of the last piece held back because it may begin a
// marker or "</head>" that the next piece completes (a line longer than one
// piece is read in several).
struct TemplateScan {
    bool scripts_due;
    bool scripts_printed;
    char carry[kCarrySize];
    size_t carried;
};

// Whether the length bytes at text are the beginning of pattern (or all of it).
bool begins_pattern(const char *text, size_t length, const char *pattern) {
    const size_t pattern_length = strlen(pattern);
    return strncmp(text, pattern, length < pattern_length ? length : pattern_length) == 0;
}

// Calls visit on every pattern a piece's end may cut: the markers and, while
// the scripts are due, "</head>". Stops at the first for which it is true.
template <typename Visit>
bool any_pattern(const TemplateScan &scan, Visit visit) {
    static const char *const kWholeMarkers[] = {kSearchMarker, kSearchFormMarker, kResultsMarker,
                                                kQueryMarker};
    for (const char *marker : kWholeMarkers)
        if (visit(marker)) return true;
    for (const SectionMarker &section : kSectionMarkers)
        if (visit(section.marker)) return true;
    return scan.scripts_due && !scan.scripts_printed && visit(kHeadClose);
}

// Puts the held-back text before the new line when the two together begin a
// marker or "</head>"; else prints the held-back text as it is.
void take_carried_text(TemplateScan &scan, const char *line, char *piece) {
    const size_t carried = scan.carried;
    memcpy(piece, scan.carry, carried);
    strcpy(piece + carried, line);
    scan.carried = 0;
    if (carried == 0) return;
    const size_t length = strlen(piece);
    const bool spans = any_pattern(scan, [&](const char *pattern) {
        const size_t pattern_length = strlen(pattern);
        return pattern_length > carried && pattern_length <= length &&
               strncmp(piece, pattern, pattern_length) == 0;
    });
    if (spans) return;
    fwrite(piece, 1, carried, stdout);
    memmove(piece, piece + carried, length - carried + 1);
}

// Holds back the end of a piece that is not the end of its line when it is
// the beginning of a marker or of "</head>".
void hold_cut_pattern(TemplateScan &scan, char *piece) {
    const size_t length = strlen(piece);
    if (length == 0 || piece[length - 1] == '\n') return;
    const size_t reach = length < kCarrySize - 1 ? length : kCarrySize - 1;
    for (size_t start = length - reach; start < length; start++) {
        if (piece[start] != '<') continue;
        const size_t tail = length - start;
        if (any_pattern(scan, [&](const char *pattern) {
                return strlen(pattern) > tail && begins_pattern(piece + start, tail, pattern);
            })) {
            memcpy(scan.carry, piece + start, tail);
            scan.carried = tail;
            piece[start] = '\0';
            return;
        }
    }
}

// Prints one piece of the template with the fragments at its markers, and
// the page scripts before the piece that closes the head.
void print_piece(TemplateScan &scan, const char *piece) {
    const char *rest = piece;
    for (;;) {
        if (scan.scripts_due && !scan.scripts_printed && strstr(rest, kHeadClose) != nullptr) {
            print_page_scripts();
            scan.scripts_printed = true;
        }
        const char *marker = strstr(rest, kMarkerPrefix);
        if (marker == nullptr) {
            out_puts(rest);
            return;
        }
        if (marker > rest) fwrite(rest, 1, (size_t)(marker - rest), stdout);
        const size_t length = print_marker(marker);
        if (length == 0) {
            out_puts(marker);
            return;
        }
        rest = marker + length;
    }
}
}  // namespace

void print_search_form() {
    for (OutputSection section : kSearchFormSections) print_section(section);
}

bool include_file(const char *name) {
    FILE *file = open_data_file(name);
    if (file == nullptr) {
        printf("Error: Failed to include file: %s\n<br \\>", name);
        return false;
    }
    char piece[kTemplatePieceSize];
    while (platform_read_text_line(piece, sizeof piece, file) != nullptr) out_puts(piece);
    fclose(file);
    return true;
}

void print_page_scripts() {
    const SearchContext &c = g_search_context;
    if (c.UseAutoComplete == 1) {
        out_puts("<script language=\"javascript\" type=\"text/javascript\">\n");
        out_puts("var VeskAutoComplete_URL = \"");
        print_javascript_string(c.g_script_url);
        out_puts("?vesk_ac=1\";\n");
        include_file("vesk_autocomplete.js");
        out_printf("if (window.addEventListener) window.addEventListener('load', %s, false);",
                   kLoadHandler);
        out_printf(" else if (window.attachEvent) window.attachEvent('onload', %s);", kLoadHandler);
        out_printf(" else window['onload'] = %s", kLoadHandler);
        out_puts("</script>\n");
        out_puts("<style>\n");
        include_file("vesk_autocomplete.css");
        out_puts("</style>\n");
    }
    if (c.DateRangeSearch == 1) {
        out_puts("<style>\n");
        include_file("vesk_datepicker.css");
        out_puts("</style>\n");
        out_puts("<script language=\"javascript\" type=\"text/javascript\">\n");
        include_file("vesk_datepicker.js");
        out_puts("</script>\n");
    }
}

void print_template() {
    SearchContext &c = g_search_context;
    if (c.g_xml_output) {
        out_printf("</channel>\n");
        out_printf("</rss>");
        return;
    }
    c.g_template_file = open_data_file(c.template_file_name);
    if (c.g_template_file == nullptr) {
        out_printf("Error: Could not open template file.");
        return;
    }
    TemplateScan scan = {c.UseAutoComplete == 1 || c.DateRangeSearch == 1, false, {}, 0};
    char line[kTemplatePieceSize];
    char piece[kCarrySize + kTemplatePieceSize];
    while (platform_read_text_line(line, sizeof line, c.g_template_file) != nullptr) {
        take_carried_text(scan, line, piece);
        hold_cut_pattern(scan, piece);
        print_piece(scan, piece);
    }
    fwrite(scan.carry, 1, scan.carried, stdout);
    fclose(c.g_template_file);
    c.g_template_file = nullptr;
    if (scan.scripts_due && !scan.scripts_printed) print_page_scripts();
}
