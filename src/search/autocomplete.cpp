// The autocomplete answer: suggestions from vesk_autocomplete.vdat that begin
// with a word typed so far, as HTML items for the search page's script.
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "platform/platform.h"
#include "search/search.h"

namespace {
const char kMissingFileMessage[] =
    "Can not find the vesk_autocomplete.vdat index file.<br />Please make sure the generated "
    "index files are uploaded to the same path as this search script.<br />Also check file "
    "permissions have been set to allow reading.<br />\n";

void print_error(const SearchContext &c, const char *message) {
    if (c.g_xml_output) out_printf("<vesk:error>");
    out_printf("%s", message);
    if (c.g_xml_output) out_printf("</vesk:error>");
}

// The suggestion of a line: its text up to the first CR or LF, CR and LF at its
// start skipped. Null when nothing is left.
char *suggestion_of(char *line) {
    line += strspn(line, "\r\n");
    if (*line == '\0') return nullptr;
    line[strcspn(line, "\r\n")] = '\0';
    return line;
}
}  // namespace

int print_autocomplete(SearchContext *context) {
    SearchContext &c = *context;
    FILE *file = open_data_file(c.autocomplete_file_name);
    if (file == nullptr) {
        out_printf("%s", kMissingFileMessage);
        return 0;
    }
    // A line buffer below two bytes holds no suggestion at all.
    if (c.MaxKeyWordLineLen < kMinKeyWordLineLen) {
        fclose(file);
        print_error(c, kInvalidSettingsFileMessage);
        print_template();
        release_all();
        return 0;
    }
    char *line = (char *)malloc((size_t)c.MaxKeyWordLineLen);
    if (line == nullptr) {
        fclose(file);
        print_error(c, "Error: out of memory");
        print_template();
        release_all();
        return 0;
    }
    while (platform_read_text_line(line, c.MaxKeyWordLineLen, file) != nullptr) {
        size_t read = strlen(line);
        if (read == 0) continue;
        // Only a line feed is removed: a last line without one keeps its text.
        if (line[read - 1] == '\n') line[read - 1] = '\0';
        char *suggestion = suggestion_of(line);
        if (suggestion == nullptr) continue;
        for (uint32_t w = 0; w < c.g_query_word_count; w++) {
            const char *word = c.g_query_words[w];
            if (strncasecmp(suggestion, word, strlen(word)) == 0)
                out_printf(
                    "<div class=\"vesk_ac_item\" "
                    "onclick=\"VeskAutoComplete_UseSuggestion(&quot;%s&quot;);\"><a "
                    "class=\"vesk_ac_item\" href=\"#\" target=\"_self\">%s</a></div>\n",
                    suggestion, suggestion);
        }
    }
    fclose(file);
    free(line);
    return 1;
}
