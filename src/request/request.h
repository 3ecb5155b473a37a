// Request handling: the CGI form library, the request record, program start,
// and the page head. Public routines grouped by the file that defines them.
#pragma once

#include <stdint.h>

#include "context/context.h"

// ---- Request record ----
constexpr int32_t PARAM_NOT_GIVEN = -1001;   // xml / match_all carried no usable value
constexpr int kScriptFileNameSize = 2048;    // program file name from argv[0]
constexpr int kIndexDirectorySize = 512;     // index directory
constexpr int kScriptUrlSize = 2048;         // SCRIPT_NAME
constexpr int kRequestQuerySize = 2086;      // query: at most 2085 characters
constexpr int kRequestDateFromSize = 15;     // vesk_datefrom buffer
constexpr int kRequestDateToSize = 17;       // vesk_dateto buffer
constexpr int kRequestDateMaxChars = 10;     // longest date accepted
constexpr int kMultiChoiceBufferSize = 256;  // multi-choice meta value: count + 255 bytes
constexpr int kMultiChoiceMaxValue = 255;    // values at or above are skipped
constexpr int kMetaTextBufferSize = 65536;   // text meta value: at most 65535 characters
constexpr int kMaxPostBodyLength = 1 << 20;  // largest POST body accepted (1 MiB)

// The decoded request; one static instance g_request.
struct RequestParams {
    char script_file_name[kScriptFileNameSize];  // the program's file name, from argv[0]
    char index_directory[kIndexDirectorySize];   // directory of settings and index files
    char script_url[kScriptUrlSize];             // SCRIPT_NAME, "" when unset or too long
    int32_t xml;                                 // vesk_xml or PARAM_NOT_GIVEN
    char remote_addr[kRemoteAddrSize];           // REMOTE_ADDR, "" when unset
    uint8_t query_given;                         // 1: the query parameter was present
    char query[kRequestQuerySize];               // query text
    int32_t per_page;                            // vesk_per_page
    int32_t page_not_given;                      // 1: vesk_page absent or not a number
    int32_t page;                                // vesk_page
    int32_t match_all;                           // vesk_and or PARAM_NOT_GIVEN
    int32_t masternode_flag;                     // masternode
    int32_t sort_order;                          // vesk_sort
    int64_t ltime_from;                          // vesk_ltimefrom, low 32 bits
    int64_t ltime_to;                            // vesk_ltimeto, low 32 bits
    char date_from[kRequestDateFromSize];        // vesk_datefrom
    char date_to[kRequestDateToSize];            // vesk_dateto
    int32_t *selected_cats;                      // requested categories, -1 = all
    int32_t selected_cat_count;                  // valid entries of selected_cats
    int32_t default_sort;                        // DefaultSort of the settings
    int32_t autocomplete;                        // vesk_ac: nonzero = autocomplete request
    int32_t meta_value_count;                    // buffers in meta_values
    char **meta_values;                          // one buffer per meta field
};

extern RequestParams g_request;

// ---- CGI form ----

enum CgiResult {
    CGI_OK = 0,
    CGI_NO_MEMORY = 1,
    CGI_CONTENT_TYPE = 2,
    CGI_REQUEST_METHOD = 3,
    CGI_IO = 4,
    CGI_TRUNCATED = 5,
    CGI_NOT_LEGAL = 6,
    CGI_NO_DATA = 7,
    CGI_NOT_SUBMITTED = 8,
    CGI_RESULT_END
};
constexpr int kCgiResultCount = 9;
static_assert(CGI_RESULT_END == kCgiResultCount, "the form library has nine result codes");

// One name/value pair; both point into the form's buffer.
struct FormEntry {
    char *name;       // raw, undecoded name
    char *value;      // decoded value
    FormEntry *next;  // following pair, or null
};

// The parsed form of one request.
struct CgiForm {
    char *buffer;       // raw form data, split in place; null when the form is empty
    int32_t length;     // bytes of raw form data
    FormEntry *first;   // first pair, or null
    FormEntry *cursor;  // next pair a lookup examines
};

extern CgiForm *g_cgi_form;  // the request's form, owned from read_cgi_parameters to free_request
extern int g_cgi_error;      // last CgiResult code

// ---- cgi_form.cpp ----
// Builds the form of the current request from REQUEST_METHOD: GET reads
// QUERY_STRING, POST (content type exactly "application/x-www-form-urlencoded")
// reads CONTENT_LENGTH bytes of standard input. Null on failure, with the code
// in g_cgi_error: 1 no memory or CONTENT_LENGTH negative or above
// kMaxPostBodyLength, 2 other content type, 3 other method, 4 short body.
CgiForm *cgi_form_create();
// Reads the POST body into form and splits it. 0, 1 (no memory, length negative
// or above kMaxPostBodyLength) or 4 (fewer bytes than CONTENT_LENGTH).
int read_post_body(CgiForm *form);
// Copies QUERY_STRING into form and splits it. 0 or 1 (no memory).
int read_query_string(CgiForm *form);
// Splits the buffer in place into entries (names raw, values decoded). 0 or 1.
int parse_form_pairs(CgiForm *form);
// Cursor back to the first entry; false for a null form.
bool cgi_form_rewind(CgiForm *form);
// Value of the first entry whose raw name equals name; null when none.
char *cgi_find_first(CgiForm *form, const char *name);
// Value of the next such entry after the cursor; null when the list ends.
char *cgi_find_next(CgiForm *form, const char *name);
// Copies at most max characters of the value into out (max + 1 bytes). 0, 5 when
// the value is longer (out holds its start), 8 when absent (out "").
int cgi_form_string(const char *name, char *out, int max);
// Value as an integer, saturated to 32 bits; 12ab gives 12. 0; else default
// stored and 8 absent, 7 empty or only spaces, 6 no digit after spaces and sign.
int cgi_form_integer(const char *name, int32_t *out, int32_t default_value);
// Every non-empty value of name into values (capacity *count on entry, number
// stored on return); values above max (0: none) are dropped, a first one above
// max gives 7. 0; else *count unchanged and 8 absent, 7 first empty, 5 capacity < 1.
int cgi_form_integer_multiple(const char *name, int32_t *values, int32_t *count, int32_t max);
// Stores code in g_cgi_error and returns it.
int set_cgi_error(int code);
// Fixed message of g_cgi_error; "" for a code outside 0..8.
const char *cgi_error_text();
// The environment variable's value, "" when unset; never null.
const char *getenv_or_empty(const char *name);
// Turns every '+' of text into ' ', in place.
void plus_to_space(char *text);
// Replaces each '%' and the two characters after it by hex_pair_value of them,
// in place; a '%' with fewer than two characters after it stays. New length.
int percent_decode(char *text);
// Byte of two hexadecimal digits of either case; other characters give an
// arbitrary but fixed byte.
unsigned char hex_pair_value(char c1, char c2);
// Frees every entry, the buffer and the record; nothing for null.
void cgi_form_free(CgiForm *form);

// ---- params.cpp ----
// Loads settings.vdat of the request's index directory (load_settings_from)
// and takes the default sort order from it. 0 loaded, 1 stop (the message has
// been printed).
int load_settings(RequestParams *request);
// Builds the CGI form and reads every parameter into g_request. false after an
// allocation failure (its message printed). When the form cannot be built it
// prints the header and "<H3>reason</H3>" and ends the process with exit code 1.
bool read_cgi_parameters();
// Frees the category list, the meta-value buffers and the form; safe to repeat.
void free_request();

// ---- command_line.cpp ----
// The environment variable through which a web server names the index directory.
constexpr char kIndexEnvironmentVariable[] = "SITEQUERY_INDEX";
// Fills script_file_name and index_directory of request from argv[0], then
// SITEQUERY_INDEX when set and not empty, then the "/I <directory>" options
// (the last usable one wins); a value too long for the field is ignored. When
// the program runs as CGI and QUERY_STRING holds no "=", trailing arguments
// that are the query's own words as a web server passes them (undecoded,
// decoded, or decoded and shell-escaped) are not read as options; the
// arguments before them are.
void read_command_line(RequestParams *request, int argc, char **argv);

// ---- page_head.cpp ----
// Copies the request into the context, prints the HTTP header (and the XML head
// in XML mode), writes the search form into the sections, and prepares the
// query. 1: go on with the search; 0: the page has been finished here (empty
// query, page beyond the results, Unicode tables not loaded).
int begin_page(SearchContext *context, RequestParams *request);

// ---- query.cpp ----
constexpr int kQueryReplaceCap = 2085;  // capacity the query's replacements work within
// Replaces the accent items of query (a g_query_text buffer) by their normal
// items. false when a replacement would pass 2085 characters (query keeps what
// was done so far). Empty accent items are skipped.
bool map_accents(char *query);
// Normalises g_query_text in place: accents, case, punctuation by the settings.
void normalize_query(SearchContext *context);
// Splits the normalised query into g_query_words at spaces outside double
// quotes, exclusion words ("-word") moved after the others in their order.
// false when memory ran out; what was allocated is freed with the query words.
bool split_query_words(SearchContext *context);
