// The search time on the page and the line of the search log. Every process
// that searches an index appends its one line to the same log, so each line
// goes out whole in one write on a descriptor opened for appending.
#include <errno.h>
#include <stdarg.h>
#include <string.h>
#include <time.h>

#include "context/utf8.h"
#include "index/index.h"
#include "platform/platform.h"
#include "search/search.h"
#include "text/text.h"

namespace {

const char kLogLineEnd[] = "\r\n";
constexpr int kLogLineSize = 8320;  // a log line, CR LF included
constexpr int kLineEndLength = sizeof kLogLineEnd - 1;
constexpr int kLineBodyLimit = kLogLineSize - 1 - kLineEndLength;  // characters before CR LF
constexpr int kQuotedQueryLimit = kQueryTextSize - 2;  // the quoted query stays below 2085
constexpr int kFieldSize = 128;                        // one formatted number field
const char kDriveMarker[] = ":\\";
const char kLogOpenFailed[] =
    "Log filename and path not found (%s). Check that you specified the correct log filename in "
    "your Indexer settings.<br />";

// The line being built: text, its length, and whether a piece was cut, after
// which nothing more is added.
struct LogLine {
    char *text;
    int length;
    bool full;
};

// Bytes of the character at p: a well-formed UTF-8 character when UseUTF8 is
// 1, else one byte. A byte that starts no character is one of its own, so that
// a control byte after a lone lead byte is still a character of its own (and
// never copied into the line as it is).
int character_length(const SearchContext &c, const unsigned char *p) {
    if (c.UseUTF8 != 1) return 1;
    const int length = utf8_decode(p, kUtf8MaxBytes, nullptr);  // stops at the NUL
    return length > 0 ? length : 1;
}

// Appends text character by character: control bytes as spaces, and, when
// quoting, every double quote twice. Stops before the first character that
// would pass limit (a query limit) or the line's own limit (the line is full).
void append_text(const SearchContext &c, LogLine &line, const char *text, bool quote, int limit) {
    if (line.full) return;
    if (limit > kLineBodyLimit) limit = kLineBodyLimit;
    for (const unsigned char *p = (const unsigned char *)text; *p != '\0';) {
        const int length = character_length(c, p);
        const bool doubled = quote && *p == '"';
        const int width = doubled ? 2 : length;
        if (line.length + width > limit) {
            line.full = limit == kLineBodyLimit;
            break;
        }
        if (length == 1 && (*p < 0x20 || *p == 0x7F)) {
            line.text[line.length++] = ' ';
        } else {
            if (doubled) line.text[line.length++] = '"';
            memcpy(line.text + line.length, p, (size_t)length);
            line.length += length;
        }
        p += length;
    }
    line.text[line.length] = '\0';
}

void append_format(const SearchContext &c, LogLine &line, const char *format, ...)
    __attribute__((format(printf, 3, 4)));
void append_format(const SearchContext &c, LogLine &line, const char *format, ...) {
    char field[kFieldSize];
    va_list args;
    va_start(args, format);
    vsnprintf(field, sizeof field, format, args);
    va_end(args);
    append_text(c, line, field, false, kLineBodyLimit);
}

// The categories of the search: off, all, or the names of the selected ones
// that the index has, in request order.
void append_categories(const SearchContext &c, LogLine &line) {
    if (c.UseCats == 0) {
        append_text(c, line, ", No cats", false, kLineBodyLimit);
        return;
    }
    const int32_t *selected = c.g_selected_cats;
    if (selected == nullptr || c.g_selected_cat_count < 1 || selected[0] == -1) {
        append_text(c, line, ", \"Cat = All\"", false, kLineBodyLimit);
        return;
    }
    append_text(c, line, ", \"Cat = ", false, kLineBodyLimit);
    bool first = true;
    for (int32_t i = 0; i < c.g_selected_cat_count; i++) {
        const int32_t category = selected[i];
        if (category < 0 || category >= c.NumCats) continue;
        if (!first) append_text(c, line, "; ", false, kLineBodyLimit);
        append_text(c, line, category_name(c, category), true, kLineBodyLimit);
        first = false;
    }
    append_text(c, line, "\"", false, kLineBodyLimit);
}

// The system's error number of a failed open, as the page names it.
void print_open_error(int error) {
    switch (error) {
        case ENOENT:
            out_printf("No such file or directory. ");
            break;
        case EBADF:
            out_printf("Bad file number. ");
            break;
        case ENOMEM:
            out_printf("Not enough memory for operation. ");
            break;
        case EACCES:
            out_printf("Permission denied. ");
            break;
        case EEXIST:
            out_printf("File exists. ");
            break;
        case EXDEV:
            out_printf("Cross device link. ");
            break;
        case EINVAL:
            out_printf("Invalid argument. ");
            break;
        case EMFILE:
            out_printf("Too many open files. ");
            break;
        case ENOSPC:
            out_printf("No space left on device. ");
            break;
        case EDEADLK:
            out_printf("Resource deadlock. ");
            break;
        default:
            out_printf("Unknown file error: %d. ", error);
            break;
    }
}

// Builds the log line of the finished search into text (kLogLineSize bytes):
// date and time, client, query, counts, categories, time, and CR LF.
// Characters written.
int format_log_line(const SearchContext &c, const SearchRun &run, double seconds, char *text) {
    LogLine line = {text, 0, false};
    text[0] = '\0';
    const time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    append_format(c, line, "%d-%02d-%02d, %02d:%02d:%02d, ", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    append_text(c, line, c.g_remote_addr, false, kLineBodyLimit);
    append_text(c, line, ", \"", false, kLineBodyLimit);
    append_text(c, line, c.g_query_text, true, line.length + kQuotedQueryLimit);
    append_format(c, line, "\", Matches = %u", run.match_count);
    append_text(c, line, c.g_match_all == 1 ? ", AND" : ", OR", false, kLineBodyLimit);
    append_format(c, line, ", PerPage = %d, PageNum = %d", c.g_per_page,
                  c.g_page_not_given ? 0 : c.g_page);
    append_categories(c, line);
    append_format(c, line, ", Time = %.3f, Rec = %d", seconds, c.g_recommended_shown);
    memcpy(text + line.length, kLogLineEnd, sizeof kLogLineEnd);
    return line.length + kLineEndLength;
}

// A backslash separates folders as a slash does.
void backslashes_to_slashes(char *text) {
    for (char *p = text; *p != '\0'; p++)
        if (*p == '\\') *p = '/';
}

// Appends the line to the log: a LogFileName that holds a drive (":\\") is
// taken as it is, any other is below the request's index directory. The
// log's path, as the failure message shows it, goes into path (kWorkPathSize
// bytes). The result of platform_append_to_file.
int append_log_line(const SearchContext &c, const char *line, int length, char *path) {
    const bool as_given = strstr(c.LogFileName, kDriveMarker) != nullptr;
    char name[kFileNameSize];
    snprintf(name, sizeof name, "%s", c.LogFileName);
    backslashes_to_slashes(name);
    if (as_given)
        snprintf(path, kWorkPathSize, "%s", name);
    else
        index_file_path(path, kWorkPathSize, name);
    const int directory = as_given ? kPlatformNameAsGiven : base_directory_fd();
    if (directory == -1) return errno;
    return platform_append_to_file(directory, name, line, (size_t)length);
}

void write_log_line(const SearchContext &c, const SearchRun &run, double seconds) {
    static char line[kLogLineSize];
    const int length = format_log_line(c, run, seconds, line);
    char path[kWorkPathSize];
    const int error = append_log_line(c, line, length, path);
    // Only a log that cannot be opened is reported; the page is complete anyway.
    if (error <= 0) return;
    if (c.g_xml_output) out_printf("<vesk:error>");
    print_open_error(error);
    out_printf(kLogOpenFailed, path);
    if (c.g_xml_output) out_printf("</vesk:error>\n");
}

}  // namespace

void write_search_time_and_log(SearchContext &c, SearchRun &run) {
    if (c.Timing != 1 && c.Logging != 1) return;
    const double seconds = timer_seconds(g_timer_start, timer_now());
    if (c.Timing == 1) {
        if (c.g_xml_output)
            out_printf("<vesk:searchtime>%.3f</vesk:searchtime>\n", seconds);
        else
            section_printf(SECTION_SEARCHTIME,
                           "<div class=\"searchtime\"><br /><br />%s %.3f %s</div>\n",
                           c.g_str_texts[STR_SEARCH_TOOK], seconds, c.g_str_texts[STR_SECONDS]);
    }
    if (c.Logging == 1) write_log_line(c, run, seconds);
}
