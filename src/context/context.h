// The one search context: every setting, the request's working copy, the
// loaded tables, the output sections and the results buffer, and the public
// routines of the context subsystem (grouped by the file that defines them).
#pragma once

#include <stdint.h>
#include <stdio.h>

#include "platform/platform.h"

struct sb_stemmer;
struct ContextMark;
struct DictionaryEntry;
struct RecommendedEntry;
struct SpellingEntry;

// ---- Fixed widths (bytes, terminating NUL included) ----
constexpr int kSettingTextSize = 1024;   // Charset, Version, WordJoinChars, interface texts
constexpr int kLongTextSize = 2048;      // LinkTarget, LinkBackURL, BroadNumeric*, script URL
constexpr int kXmlTitleSize = 2049;      // XMLTitle
constexpr int kXmlDescSize = 8001;       // XMLDesc
constexpr int kXmlUrlSize = 8337;        // XMLURL, XMLXSLTURL, XMLOpenSearchDescURL, DatePickerPath
constexpr int kMoneyCurrencySize = 12;   // MetaMoneyCurrency
constexpr int kWorkPathSize = 1024;      // path of an index file being opened
constexpr int kBaseDirectorySize = 512;  // index directory
constexpr int kFileNameSize = 256;       // each data-file name and LogFileName
constexpr int kQueryTextSize = 2086;     // query text: at most 2085 characters
constexpr int kQueryCopySize = 2135;     // display and split copies of the query
constexpr int kQueryWordSize = 2088;  // one query word: 2085 characters and a substring's two "*"
constexpr int kQueryUrlencodedSize = 3 * (kQueryTextSize - 1) + 1;  // every query byte as %XX
constexpr int kDateLinkSuffixSize = 100;  // date part of result-page links
constexpr int kDateSize = 15;             // date texts of the request copy
constexpr int kSkippedWordsSize = 2137;   // list of skipped query words
constexpr int kRemoteAddrSize = 46;       // client address: room for a 45-character IPv6 text
constexpr int kLinkSeparatorSize = 10;    // "?" or "&amp;"
constexpr int kPageLinkTextSize = 8357;   // first link text of the result page
constexpr int kSortLinkTextSize = 8337;   // second link text of the result page
constexpr int kPerPageChoiceCount = 5;    // entries of g_per_page_choices

// ---- Output sections ----
// The 19 output sections, one per template marker, in marker order.
enum OutputSection {
    SECTION_FORMSTART = 0,
    SECTION_FORMEND = 1,
    SECTION_SEARCHBOX = 2,
    SECTION_SEARCHBUTTON = 3,
    SECTION_RESULTSPERPAGE = 4,
    SECTION_MATCHOPTIONS = 5,
    SECTION_CATEGORIES = 6,
    SECTION_CUSTOMMETAOPTIONS = 7,
    SECTION_HEADING = 8,
    SECTION_SUMMARY = 9,
    SECTION_SUGGESTION = 10,
    SECTION_PAGESCOUNT = 11,
    SECTION_SORTING = 12,
    SECTION_SEARCHTIME = 13,
    SECTION_RECOMMENDED = 14,
    SECTION_PAGENUMBERS = 15,
    SECTION_CATSUMMARY = 16,
    SECTION_JAVASCRIPTS = 17,
    SECTION_DATERANGE = 18,
    SECTION_END
};
constexpr int kSectionCount = 19;  // sections 0..18, one per template marker
static_assert(SECTION_END == kSectionCount, "one section per template marker");
constexpr int kSectionInitialSize = 100;     // bytes of a fresh section
constexpr int kFormatBufferSize = 10240;     // stack buffer of a print; longer texts use the heap
constexpr int kResultBytesPerResult = 2084;  // results buffer: bytes per result of a page
constexpr int kResultBytesBase = 12932;      // results buffer: fixed part

// ---- Interface texts ----
constexpr int kStrTextCount = 49;

// The interface texts of settings.vdat, in their fixed order, written once:
// each its key after "STR_" and the English text a new settings.vdat gets.
// The enum below, the loader's key table (interface_text_key) and the
// settings writer's defaults (default_interface_text) all come from it.
#define SITEQUERY_INTERFACE_TEXTS(TEXT)                                              \
    TEXT(FORM_SEARCHFOR, "Search for:")                                              \
    TEXT(FORM_SUBMIT_BUTTON, "Search")                                               \
    TEXT(FORM_RESULTS_PER_PAGE, "Results per page:")                                 \
    TEXT(FORM_CATEGORY, "Category:")                                                 \
    TEXT(FORM_CATEGORY_ALL, "Any")                                                   \
    TEXT(FORM_MATCH, "Match:")                                                       \
    TEXT(FORM_ANY_SEARCH_WORDS, "any search words")                                  \
    TEXT(FORM_ALL_SEARCH_WORDS, "all search words")                                  \
    TEXT(NO_QUERY, "No search query entered.")                                       \
    TEXT(RESULTS_FOR, "Search results for:")                                         \
    TEXT(RESULTS_IN_ALL_CATEGORIES, "in all categories")                             \
    TEXT(RESULTS_IN_CATEGORY, "in category")                                         \
    TEXT(POWEREDBY, "Search powered by sitequery")                                   \
    TEXT(NO_RESULTS, "No results")                                                   \
    TEXT(RESULT, "result")                                                           \
    TEXT(RESULTS, "results")                                                         \
    TEXT(PHRASE_CONTAINS_COMMON_WORDS, "Your search phrase contains common words.")  \
    TEXT(SKIPPED_FOLLOWING_WORDS, "Skipped the following words:")                    \
    TEXT(SKIPPED_PHRASE, "Skipped phrase")                                           \
    TEXT(SUMMARY_NO_RESULTS_FOUND, "No results found.")                              \
    TEXT(SUMMARY_FOUND_CONTAINING_ALL_TERMS, "found containing all search terms.")   \
    TEXT(SUMMARY_FOUND_CONTAINING_SOME_TERMS, "found containing some search terms.") \
    TEXT(SUMMARY_FOUND, "found.")                                                    \
    TEXT(PAGES_OF_RESULTS, "pages of results.")                                      \
    TEXT(POSSIBLY_GET_MORE_RESULTS, "More results may be found by searching for")    \
    TEXT(ANY_OF_TERMS, "any of the terms")                                           \
    TEXT(ALL_CATS, "all categories")                                                 \
    TEXT(SORTBY_RELEVANCE, "Sort by relevance")                                      \
    TEXT(SORTEDBY_DATE, "Sorted by date")                                            \
    TEXT(SORTEDBY_RELEVANCE, "Sorted by relevance")                                  \
    TEXT(SORTBY_DATE, "Sort by date")                                                \
    TEXT(RESULT_TERMS_MATCHED, "Terms matched:")                                     \
    TEXT(RESULT_SCORE, "Score:")                                                     \
    TEXT(RESULT_URL, "URL:")                                                         \
    TEXT(RESULT_PAGES, "Result Pages:")                                              \
    TEXT(RESULT_PAGES_PREVIOUS, "&lt;&lt; Previous")                                 \
    TEXT(RESULT_PAGES_NEXT, "Next &gt;&gt;")                                         \
    TEXT(SEARCH_TOOK, "Search took:")                                                \
    TEXT(SECONDS, "seconds")                                                         \
    TEXT(DIDYOUMEAN, "Did you mean:")                                                \
    TEXT(OR, "or")                                                                   \
    TEXT(RECOMMENDED, "Recommended links")                                           \
    TEXT(MAX_RESULTS, "Too many results")                                            \
    TEXT(MORETHAN, "More than")                                                      \
    TEXT(CAT_SUMMARY, "Category summary:")                                           \
    TEXT(SORTEDBY_DATE_ASC, "Sorted by date (oldest first)")                         \
    TEXT(FORM_DATE_FROM, "From:")                                                    \
    TEXT(FORM_DATE_TO, "To:")                                                        \
    TEXT(FORM_DATE_BUTTON, "...")

enum StrText {
#define SITEQUERY_TEXT_ENUM(name, english) STR_##name,
    SITEQUERY_INTERFACE_TEXTS(SITEQUERY_TEXT_ENUM)
#undef SITEQUERY_TEXT_ENUM
        STR_TEXT_END
};
static_assert(STR_TEXT_END == kStrTextCount, "the settings file carries 49 interface texts");

// ---- Custom meta fields ----
constexpr int kMetaTextSize = 101;   // name, caption, label
constexpr int kMetaOptionSize = 65;  // one option text

// One custom meta search field of the settings file.
struct MetaField {
    char name[kMetaTextSize];     // field name; also its CGI parameter and form control name
    int32_t type;                 // 0 numeric, 1 text, 2 drop-down, 3 multiple choice, 4 money
    char caption[kMetaTextSize];  // shown before the value in a result block
    char label[kMetaTextSize];    // label of the form control
    int32_t match_op;             // 1 <, 2 <=, 3 >, 4 >=, 5 contains, else equal
    int32_t option_count;         // number of option texts (types 2 and 3)
    char **options;               // option_count texts of kMetaOptionSize bytes, or null
};

// ---- Accent lists ----
constexpr int kAccentItemSize = 10;  // one accented item: at most 9 bytes
constexpr int kNormalItemSize = 5;   // its replacement: at most 4 bytes

// How the page-text reader reaches the file. A regular file is read at
// offsets, so that an excerpt costs no seek; anything else is sought and read
// as a stream. Zero-filled: not yet asked.
enum PageTextReadMode { kPageTextNotAsked = 0, kPageTextAtOffsets = 1, kPageTextAsStream = 2 };
struct PageTextReads {
    int mode;       // a PageTextReadMode
    uint64_t size;  // the file's size when read at offsets
    uint64_t next;  // file offset of the next read at offsets
    bool ended;     // a read at offsets came short: the file ends there
};

// The bytes of the word-map file that a block read at an offset took in, so
// that a later block lying inside them needs no read. They belong to the open
// word-map stream and to it alone: closing the stream (close_index_files,
// close_word_map_file) frees them, so a stream opened later, whatever its
// descriptor number or address, never finds bytes of an earlier one.
struct WordmapWindow {
    uint8_t *bytes;    // kWordmapWindowSize bytes once a read needed them, or null
    const FILE *file;  // the stream they were read from (the open word map)
    int64_t offset;    // file offset of bytes[0]
    uint64_t length;   // bytes of the file held (0: none)
};

// The whole state of one request. Exactly one instance exists: g_search_context.
struct SearchContext {
    // ---- Settings, first block ----
    int32_t UseCats;                             // categories in the form, filter and echo
    int32_t NumCats;                             // number of categories
    int32_t NumCatBytes;                         // bytes of each page's category bitmap
    int32_t DisplayCatSummary;                   // category summary of the results
    char Version[kSettingTextSize];              // version text of the page comment and XML head
    int32_t UseUTF8;                             // 1: texts are UTF-8
    char Charset[kSettingTextSize];              // charset of the HTTP header and XML declaration
    int32_t Codepage;                            // 950/20936/932 keep '|' and the pound sign
    int32_t NoCharset;                           // 1: the header names no charset
    int32_t UseXML;                              // default of vesk_xml
    int32_t UseMetaFields;                       // custom meta fields on
    int32_t NumMetaFields;                       // records of the metafields block
    int32_t MetaMoneyShowDec;                    // money values carry decimals
    char MetaMoneyCurrency[kMoneyCurrencySize];  // currency sign before money values
    MetaField *g_meta_fields;                    // table of g_meta_field_capacity records, or null
    int32_t g_meta_field_capacity;               // records actually allocated in g_meta_fields
    int32_t DotNetUseFormTags;                   // read and kept
    int32_t DotNetUsePostBacks;                  // read and kept

    // ---- Working area ----
    char g_plugin_target_attr[kLongTextSize];  // target attribute of plug-in file links
    uint32_t g_rank_min;                       // ranking: lowest score kept
    uint32_t g_rank_max;                       // ranking: highest score seen
    uint32_t g_result_capacity;                // ranking: results room
    uint32_t g_rank_threshold;                 // ranking: cut-off score
    char **g_str_texts;                        // the 49 interface texts, or null
    int32_t g_page_not_given;                  // 1: vesk_page was absent or bad
    sb_stemmer *g_stemmer;                     // stemmer of this search, or null
    char ***g_phrase_words;                    // per term: a phrase's words (stemmed), or null
    char ***g_phrase_word_copies;              // per term: a phrase's words as typed, or null
    uint32_t *g_context_slots;                 // excerpt run: word id and variant per slot, or null
    ContextMark *g_context_marks;              // excerpt run: highlight marks per slot, or null
    uint32_t g_context_slot_count;             // slots of an excerpt run
    const char *g_highlight_token_pos;         // highlight tokenizer position, or null
    char **g_section_texts;                    // the 19 section texts, or null
    int32_t *g_section_capacity;               // byte capacity of each section text
    int32_t *g_section_length;                 // length of each section text
    char *g_result_buffer;                     // results buffer text, or null
    int32_t g_result_buffer_capacity;          // its byte capacity
    int32_t g_result_buffer_length;            // length of its text
    char g_page_link_text[kPageLinkTextSize];  // first link text of the result page
    char g_sort_link_text[kSortLinkTextSize];  // second link text of the result page

    // ---- Settings, second block (key order of the settings file) ----
    int32_t UseStemming;                         // stem query and spelling words
    int32_t StemmingAlgo;                        // stemming algorithm 0..15
    int32_t g_broad_numeric;                     // broad numeric matching active for this search
    int32_t MinWordLen;                          // shorter query words are skipped
    int32_t Highlighting;                        // highlight terms in result texts
    int32_t HighlightLimit;                      // shown by the settings echo
    int32_t GotoHighlight;                       // links carry highlight parameters
    int32_t PdfHighlight;                        // ".pdf" links carry "#search="
    int32_t FormFormat;                          // search form: 0 none, 1 basic, 2 advanced
    char g_content_type[kSettingTextSize];       // content type of the response
    int32_t g_xml_output;                        // nonzero: the response is XML
    int32_t g_masternode;                        // masternode flag of the request
    int32_t DisplayMetaDesc;                     // result blocks show the description
    int32_t DisplayMetaFields;                   // result blocks show meta values
    int32_t UseDateTime;                         // date sorting and its links
    int32_t DisplayDate;                         // result blocks show the date
    int32_t DefaultSort;                         // default sort order
    int32_t DateRangeSearch;                     // date-range fields, scripts and filter
    int32_t DateRangeFormat;                     // 1: month/day/year
    int32_t UseAutoComplete;                     // autocomplete script before </head>
    int32_t DisplayContext;                      // context excerpts
    char DatePickerPath[kXmlUrlSize];            // read and kept
    int32_t DisplayNumber;                       // result number shown
    int32_t DisplayTitle;                        // title shown
    int32_t DisplayTerms;                        // terms matched shown
    int32_t DisplayScore;                        // score shown
    int32_t DisplayURL;                          // URL shown
    int32_t TruncateShowURL;                     // length at which a shown URL is cut
    int32_t DisplayFilesize;                     // file size shown
    int32_t UseVeskImage;                        // page image shown
    int32_t Logging;                             // one log line per search
    int32_t MaxKeyWordLineLen;                   // line length of the keyword lists
    int32_t OutputVariantBufferSize;             // byte size of the variant pool
    int32_t OutputBasewordBufferSize;            // byte size of the base-word pool
    int32_t DictIDLen;                           // bytes per page-text record
    uint32_t DictReservedLimit;                  // highest reserved word id
    uint32_t DictReservedPrefixes;               // reserved prefix token threshold
    uint32_t DictReservedSuffixes;               // reserved suffix token threshold
    uint32_t DictReservedNoSpaces;               // reserved no-space token threshold
    uint32_t DictReservedSpaces;                 // reserved spaced token threshold
    int32_t UseBigPageInfoData;                  // big page-info record layout
    int32_t PluginOpenNewWindow;                 // plug-in links open a new window
    int32_t FileTypePluginStart;                 // first plug-in file type
    int32_t WordSplit;                           // shown by the settings echo
    int32_t VeskInfo;                            // powered-by line
    char *g_page_text_buffer;                    // page-text reader buffer, or null
    char *g_page_line;                           // page-data line buffer of the result blocks
    int32_t g_page_text_pos;                     // page-text reader position
    int32_t g_page_text_fill;                    // page-text reader fill
    int32_t Timing;                              // search-time line
    int32_t SearchAsSubstring;                   // words match inside longer words
    int32_t ToLowerSearchWords;                  // case-insensitive search
    int32_t ContextSize;                         // size of a context excerpt
    uint32_t MaxContextKeywords;                 // hit positions kept per page
    int32_t MaxResultsPerQuery;                  // results kept
    int32_t WeightProximity;                     // weight of the zone factor
    int32_t AllowExactPhrase;                    // quoted phrases searched as phrases
    int32_t MaxContextSeeks;                     // page-text seeks of the phrase check
    uint32_t MaxMatches;                         // word matches collected at most
    int32_t MaxSearchTime;                       // time limit in seconds
    int32_t UseLinkTarget;                       // links get a target attribute
    char LinkTarget[kLongTextSize];              // that target attribute's value
    int32_t g_term_search_flag;                  // flag of the term search
    int32_t g_accent_count;                      // items in each accent table
    int32_t g_accent_capacity;                   // entries actually allocated in the accent tables
    char WordJoinChars[kSettingTextSize];        // characters kept inside words
    char BroadNumericValidChars[kLongTextSize];  // broad numeric characters
    char BroadNumericStripChars[kLongTextSize];  // characters removed in broad numeric matching
    int32_t Spelling;                            // spelling suggestions
    int32_t SpellingWhenLessThan;                // suggestion threshold
    uint32_t NumSpellings;                       // records of the spelling list
    int32_t Recommended;                         // recommended links
    int32_t NumRecommended;                      // lines of the recommended list read at most
    int32_t RecommendedMax;                      // recommended links shown at most
    int32_t SearchMultiCats;                     // categories as check-boxes
    uint32_t NumKeywords;                        // dictionary entries
    int32_t NumPages;                            // pages
    int32_t NumVariants;                         // word variants
    int32_t PageInfoSize;                        // exact byte size of the page-info file
    int32_t DefaultToAnd;                        // default of vesk_and
    char XMLTitle[kXmlTitleSize];                // XML channel title
    char XMLDesc[kXmlDescSize];                  // XML channel description
    char XMLURL[kXmlUrlSize];                    // XML channel link
    char XMLXSLTURL[kXmlUrlSize];                // XML stylesheet; empty: none
    char XMLOpenSearchDescURL[kXmlUrlSize];      // OpenSearch description link; empty: none
    int32_t XMLHighlight;                        // XML output highlights terms
    int32_t MapAccents;                          // accent lists follow; queries accent-mapped
    char **g_accent_chars;                       // accent items, or null
    char **g_normal_chars;                       // their replacements, or null

    // ---- Files ----
    char g_base_directory[kBaseDirectorySize];   // index directory
    char settings_file_name[kFileNameSize];      // "settings.vdat"
    char LogFileName[kFileNameSize];             // search log (a settings key)
    char template_file_name[kFileNameSize];      // "search_template.html"
    char pagedata_file_name[kFileNameSize];      // "vesk_pagedata.vdat"
    char pagetext_file_name[kFileNameSize];      // "vesk_pagetext.vdat"
    char pageinfo_file_name[kFileNameSize];      // "vesk_pageinfo.vdat"
    char recommended_file_name[kFileNameSize];   // "vesk_recommended.vdat"
    char autocomplete_file_name[kFileNameSize];  // "vesk_autocomplete.vdat"

    // ---- Request and query ----
    char g_query_text[kQueryTextSize];                // the query being searched
    char g_query_plain[kQueryCopySize];               // plain display copy
    char g_query_html[kQueryCopySize];                // HTML-escaped copy
    char g_query_urlencoded[kQueryUrlencodedSize];    // URL-encoded copy
    char *g_meta_link_suffix;                         // meta-field part of page links (heap)
    char g_date_link_suffix[kDateLinkSuffixSize];     // date part of page links
    char g_date_from[kDateSize];                      // requested first date
    char g_date_to[kDateSize];                        // requested last date
    int64_t g_ltime_from;                             // requested first time (vesk_ltimefrom)
    int64_t g_ltime_to;                               // requested last time (vesk_ltimeto)
    char g_skipped_words[kSkippedWordsSize];          // words the search skipped
    char **g_category_names;                          // NumCats names (entries may be null)
    int32_t g_category_capacity;                      // entries actually allocated there
    int32_t *g_selected_cats;                         // requested categories (not owned)
    int32_t g_selected_cat_count;                     // entries of g_selected_cats
    int32_t g_recommended_shown;                      // recommended links shown
    char g_link_target_attr[kLongTextSize];           // target attribute of result links
    char **g_meta_values;                             // request's meta values (not owned)
    int32_t g_meta_value_count;                       // entries of g_meta_values
    int64_t g_last_recommended_page;                  // page of the last recommended link
    char *g_page_info_buffer;                         // page-info file contents
    const uint8_t **g_page_records;                   // NumPages records (in the buffer), or null
    const uint8_t **g_page_category_bitmaps;          // NumPages bitmaps (UseCats 1), or null
    const uint8_t **g_page_meta_values;               // NumPages first meta values, or null
    SpellingEntry *g_spelling_entries;                // spelling list (the search frees it)
    uint32_t g_spelling_count;                        // entries filled in g_spelling_entries
    FILE *g_template_file;                            // template while it is streamed
    FILE *g_page_text_file;                           // open page-text file
    FILE *g_word_map_file;                            // open word-map file
    WordmapWindow g_word_map_window;                  // its bytes the last block read took in
    FILE *g_spelling_file;                            // open spelling file
    FILE *g_page_data_file;                           // open page-data file
    PageTextReads g_page_text_reads;                  // how the page-text reader reads the file
    char g_remote_addr[kRemoteAddrSize];              // client address
    char **g_query_words;                             // the query words
    char **g_query_word_copies;                       // their display copies
    uint32_t g_query_word_count;                      // number of query words
    uint32_t g_skipped_word_count;                    // words skipped
    DictionaryEntry *g_dictionary;                    // NumKeywords + 1 entries, or null
    uint32_t g_dictionary_count;                      // entries the file filled (0..count-1)
    const char *g_dictionary_text;                    // dictionary file as read; never written
    uint64_t g_dictionary_text_size;                  // its bytes (zero bytes follow them)
    uint32_t *g_term_first_word_id;                   // first matched word id per term
    uint32_t **g_phrase_word_ids;                     // word ids of each phrase term, or null
    char *g_baseword_pool;                            // base-word pool
    int64_t g_baseword_pool_pos;                      // its fill: bytes written
    int64_t g_baseword_pool_size;                     // its size
    int64_t g_baseword_pool_used;                     // base words stored in it
    char *g_variant_pool;                             // variant pool
    int64_t g_variant_pool_pos;                       // its fill: bytes written
    int64_t g_variant_pool_size;                      // its size
    int64_t g_variant_pool_used;                      // variants stored in it
    uint32_t g_nonsearch_word_count;                  // words that are no search terms
    RecommendedEntry *g_recommended;                  // recommended list, or null
    int32_t g_recommended_count;                      // its entries
    uint8_t *g_term_is_wildcard;                      // wildcard flag per term
    int32_t g_per_page_choices[kPerPageChoiceCount];  // per-page choices, -1 ends the list
    int32_t g_per_page;                               // results per page
    int32_t g_page;                                   // page number
    int32_t g_match_all;                              // 1: all words must match
    int32_t g_sort_order;                             // 0 relevance, 1 newest, 2 oldest
    char LinkBackURL[kLongTextSize];                  // base of the form action and links
    char g_link_separator[kLinkSeparatorSize];        // "?" or "&amp;" after LinkBackURL
    char g_script_url[kLongTextSize];                 // SCRIPT_NAME of the request
    uint8_t g_search_cut_short;                       // a search limit stopped the term search
    uint8_t g_query_given;                            // the query parameter was present
    uint8_t g_meta_only_search;                       // only meta fields were searched
    uint8_t g_in_quotes;                              // query split: inside a phrase
    uint8_t g_phrase_seen;                            // the query holds a phrase
    uint8_t UseDomainDiversity;                       // domain diversity of the first page
    int32_t MaxDomainDiversity;                       // results per domain
    int32_t g_picked_count;                           // domain diversity: results picked
    int32_t *g_picked_results;                        // domain diversity: sorted positions picked
    char **g_picked_hosts;                            // domain diversity: their hosts
};

extern SearchContext g_search_context;
extern int64_t g_timer_start;  // counter value taken when the context was constructed

// ---- search_context.cpp ----

// Gives every member its initial value, resets the request state and takes the start time.
void init_search_context();
// The destructor registered for process exit: does nothing.
void destroy_search_context();
// Resets the per-request members; allocates and frees nothing. Returns 1.
int reset_request_state();
// Current value of the monotonic high-resolution counter.
int64_t timer_now();
// Seconds between two counter values.
double timer_seconds(int64_t start, int64_t end);
// Opens g_base_directory as the request's index directory (closing the one
// opened before): every file below it is then opened through this one
// descriptor, so that a folder renamed or a symlink switched while the
// request runs cannot mix two indexes. false when it cannot be opened (the
// system's error is saved; every open below it then fails).
bool open_base_directory();
// The descriptor of open_base_directory; opens it first when none is open for
// the current g_base_directory text. -1 when it cannot be opened, with errno
// set to the reason.
int base_directory_fd();
// Opens name below the index directory for reading (leading slashes of name
// skipped); null when it cannot be opened (the system's error is saved).
FILE *open_data_file(const char *name);
// open_data_file as a descriptor; -1 when it cannot be opened.
int open_data_descriptor(const char *name);
// Seeks to a 64-bit offset from the file's start. 0 on success; else prints the
// seek message (wrapped in <vesk:error> in XML mode) and returns the nonzero result.
int seek_data_file(FILE *file, int64_t offset);
// Frees the query words, per-term arrays, output sections, results buffer and stemmer.
void release_search_buffers();
// release_search_buffers, then the tables the settings loaded (categories,
// meta fields, accents, interface texts) and the recommended list; every
// pointer freed ends null. release_all (index.h) frees the index tables too.
void release_context_tables();

// ---- output.cpp ----

// Allocates the 19 sections (100 bytes each) and the results buffer. 0 done, 1 failure.
int allocate_output_buffers();
// Formats the whole text and prints it to standard output. Characters printed,
// or -1 (nothing printed) for a formatting error or no memory.
int out_printf(const char *format, ...) __attribute__((format(printf, 1, 2)));
// Prints text unchanged, any length. Characters printed.
int out_puts(const char *text);
// Formats the whole text and appends it to the results buffer. Formatted length,
// or -1 (text unchanged) for a formatting error or no memory.
int buffer_printf(const char *format, ...) __attribute__((format(printf, 1, 2)));
// Formats the whole text and appends it to section (an OutputSection). Formatted
// length, or -1 (text unchanged) for a section out of range, a formatting error
// or no memory.
int section_printf(int section, const char *format, ...) __attribute__((format(printf, 2, 3)));
// Prints message to standard output; in XML mode inside "<vesk:error>" and
// closing (the caller's choice of "</vesk:error>" or "</vesk:error>\n").
void print_error_message(const char *message, const char *closing);
// Empties SECTION_CATSUMMARY, keeping its capacity.
void clear_catsummary_section();
// Writes the result-count phrase into SECTION_SUMMARY.
void print_result_count(uint32_t count, const char *closing_text);
// Appends the powered-by line (STR_POWEREDBY and a link to the product's page)
// to the page-numbers section.
void write_powered_by_line();

// ---- settings.cpp ----

// The message of a settings file that is invalid (also shown for settings that
// make an index file unreadable).
extern const char kInvalidSettingsFileMessage[];

// Prepares the context for the index directory and the program's file name
// (the base of its links), loads settings.vdat and reports a failure after the
// Content-type header. 0 loaded, 1 stop (the message has been printed).
int load_settings_from(const char *index_directory, const char *script_file_name);
// Reads settings.vdat. 0 loaded, 1 invalid, 4 out of memory, 5 DictIDLen above 5,
// 6 cannot be opened. Prints nothing.
int load_settings_file(SearchContext *context);
// Trims blank, tab, CR and LF at both ends in place. 0 done (also null/empty), 4 no memory.
int trim_string(char *text);

// ---- settings_blocks.cpp ----

// Outcome of a settings block reader.
enum SettingsBlockResult { kBlockOk = 0, kBlockInvalid = 1, kBlockNoMemory = 4 };
// Interface-text line: stores its text in g_str_texts. kBlockOk or kBlockNoMemory.
int read_interface_text_line(SearchContext *context, const char *line);
// catnames block: reads NumCats names from file.
int read_category_block(SearchContext *context, FILE *file);
// metafields block: reads NumMetaFields records from file.
int read_meta_field_block(SearchContext *context, FILE *file);
// The AccentChars and NormalChars lines after MapAccents = 1.
int read_accent_lines(SearchContext *context, FILE *file);
// 1 when every interface text is present.
bool all_interface_texts_present(const SearchContext *context);
// Name of interface text i (0..48), e.g. "STR_FORM_SEARCHFOR".
const char *interface_text_key(int index);
// Meta fields usable by the readers: NumMetaFields, but never more than the
// records the metafields block allocated (0 without a block).
int32_t defined_meta_field_count();
// Interface text `index` (a StrText), or "" when the texts are not loaded.
const char *text_of(const SearchContext &c, int index);
// Name of category `category`, or "" for a number outside the loaded names
// (negative ones included) and for a name the settings left out.
const char *category_name(const SearchContext &c, int32_t category);
// Prints the loaded settings as <vesk:setting> elements.
void print_settings_xml();

// ---- settings_scan.cpp ----

constexpr int kSettingsLineSize = 2048;  // line buffer of settings.vdat
// Reads one line (at most size - 1 bytes, LF included) into buffer. false at the
// end of the file or on a read error (the buffer is then empty).
bool read_settings_line(FILE *file, char *buffer, int size);
// The line's key token (first run of non-white-space characters) into token
// (at most size - 1 characters). false when the line has none.
bool settings_key_token(const char *line, char *token, int size);
// Matches "<key> = " from the line's first character (each blank matching any
// run of white space). The position after it, or null when the line does not match.
const char *match_key_equals(const char *line, const char *key);
// Reads a decimal integer like "%d": white space, optional sign, digits. The value
// saturates to 32 bits. false (value untouched) when no digit follows.
bool scan_int32(const char *text, int32_t *value);
// Reads like "%u": negative values wrap to their unsigned 32-bit form.
bool scan_uint32(const char *text, uint32_t *value);
// Reads like atoi (white space, optional sign, digits; 0 when no digit follows)
// with the value saturated to 32 bits instead of overflowing.
int32_t lenient_atoi(const char *text);
// Reads '"' and then one or more characters up to the next '"' or the end of the
// text into out (at most size - 1 characters, cut at a UTF-8 character boundary).
// false (out untouched) when the quote is missing or the value is empty.
bool scan_quoted_text(const char *text, char *out, int size);
// Copies at most size - 1 bytes of text into out, never ending inside a UTF-8
// multi-byte character; always terminates out (size > 0).
void copy_bounded_utf8(char *out, int size, const char *text);

// ---- template.cpp ----

// Streams the template with the sections at their markers; in XML mode closes the document.
void print_template();
// Prints the search-form sections: javascripts, form start, search box, search
// button, results per page, match options, categories, meta options, date range, form end.
void print_search_form();
// Copies a file of the index directory to standard output. false when it cannot be opened.
bool include_file(const char *name);
// Prints the autocomplete and date-picker scripts as the settings ask.
void print_page_scripts();

// ---- search_context.cpp (system error text) ----

// Heap text describing the last failed system call (never null); free it with
// free_system_error_text.
char *get_system_error_text();
void free_system_error_text(char *text);
