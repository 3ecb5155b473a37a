// Test support: writes a complete index directory (dictionary, word map, page
// text, page info, page data, spelling and recommended lists, settings.vdat)
// from a declarative description of pages, every count, length and offset
// computed to agree, plus deliberate damage on request. Not part of the program.
#pragma once

#include <stdint.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "index/layout.h"
#include "support/index_writer.h"

namespace testsupport {

// A page's value of one meta field, laid out by the field's type.
struct MetaValueSpec {
    bool present = true;       // false: the field's no-value marker
    std::string text;          // type 1
    int option = 0;            // type 2
    std::vector<int> options;  // type 3
    uint32_t number = 0;       // every other type

    static MetaValueSpec none();
    static MetaValueSpec of_text(const std::string &text);
    static MetaValueSpec of_option(int option);
    static MetaValueSpec of_options(const std::vector<int> &options);
    static MetaValueSpec of_number(uint32_t number);
};

// Score and zone bytes written for a word's postings on one page.
struct PostingSpec {
    uint8_t score = 10;
    uint8_t zones = 1;
};

// One indexed page.
struct PageSpec {
    std::string url, title, description, image;
    uint32_t date = 0;                // seconds since 1970
    uint32_t size = 0;                // file size in bytes
    uint8_t boost = 0;                // 0 none
    uint8_t file_type = 0;            // file type number
    std::vector<int> categories;      // category numbers the page is in
    std::vector<MetaValueSpec> meta;  // one per meta field; missing ones are "none"
    std::vector<std::string> words;   // body text as tokens (see split_words)
    std::string line_tail;            // written after the fourth "|" of the page-data line
    std::map<std::string, PostingSpec> postings;  // base word -> bytes of each of its postings
};

// One line of the recommended list.
struct RecommendedSpec {
    std::string keywords;
    long long page = 0;
};

// Deliberate damage, applied after every file has been computed.
struct IndexCorruption {
    std::map<std::string, long long> settings;           // keys written over the computed ones
    std::map<int, uint32_t> record_length;               // page -> its record-length field
    std::map<int, uint64_t> data_offset;                 // page -> its page-data offset field
    long long pageinfo_size_delta = 0;                   // <0 cuts bytes off, >0 appends zeros
    std::map<std::string, uint32_t> wordmap_count;       // base word -> its block's count field
    std::map<std::string, long long> dictionary_offset;  // base word -> offset in the dictionary
    long long wordmap_size_delta = 0;                    // <0 cuts bytes off the word map's end
    std::map<std::string, uint32_t> posting_page;        // base word -> page of its first posting
    std::string pagetext_prefix;                         // bytes put before the page text
    std::map<std::string, uint32_t> pagetext_ids;        // base word -> id its text records get
    long long pagetext_size_delta = 0;                   // <0 cuts bytes off the page text's end
    std::map<int, std::string> page_data_line;           // page -> line written in its place
    std::set<std::string> missing_files;                 // file names not written
    std::map<std::string, std::string> replaced_files;   // file name -> bytes written instead
    std::map<std::string, std::vector<long long>> spelling_ids;  // key -> ids of its line instead
};

// The whole index.
struct IndexSpec {
    SettingsSpec settings = default_settings();  // the writer adds the index keys to it
    std::vector<PageSpec> pages;
    bool big_layout = false;                 // UseBigPageInfoData 1
    int dict_id_len = 3;                     // page-text record width (2 to 5)
    std::vector<std::string> categories;     // UseCats 1 and the catnames block when not empty
    std::vector<MetaFieldSpec> meta_fields;  // UseMetaFields 1 and the block when not empty
    std::set<std::string> common_words;      // base words kept without postings (offset -1)
    // Base word of a page token (its dictionary entry; the token is a variant
    // of it when they differ). Unset: the token in ASCII lower case.
    std::function<std::string(const std::string &)> base_word;
    std::vector<RecommendedSpec> recommended;  // Recommended 1 and the list when not empty
    std::vector<std::string> autocomplete;     // vesk_autocomplete.vdat lines when not empty
    bool spelling = false;                     // Spelling 1 and the list from the words
    bool page_data_reversed = false;           // page-data lines written last page first
    std::set<std::string> postings_reversed;   // base words whose postings come last page first
    std::string template_text;                 // search_template.html when not empty
    IndexCorruption corrupt;
};

// What build_index computed: the file bytes and where things lie in them.
struct IndexFiles {
    std::map<std::string, std::string> files;        // name -> bytes (settings.vdat too)
    SettingsSpec settings;                           // what settings.vdat says
    std::vector<std::string> words;                  // base word of every id
    std::map<std::string, uint32_t> word_ids;        // base word -> id
    std::map<std::string, int64_t> block_offsets;    // base word -> word-map offset
    std::vector<uint64_t> record_offsets;            // page -> offset of its page-info record
    std::vector<uint64_t> line_offsets;              // page -> offset of its page-data line
    std::vector<uint64_t> text_offsets;              // page -> offset of its first text record
    std::vector<std::vector<std::string>> spelling;  // tokens of each spelling line
};

// Reserved tokens and their classes as the writer numbers them: ids 0 and 1
// are the boundaries, then the spaced, suffix, prefix and no-space tokens.
using ::kPageStartId;                               // opens a page's text
using ::kSectionEndId;                              // between a page's title and body
const std::vector<std::string> &reserved_tokens();  // index = id - 2

// Splits prose into tokens: words (letters, digits, UTF-8 bytes, and the
// join characters between two of them) and the reserved punctuation tokens;
// other characters are dropped.
std::vector<std::string> split_words(const std::string &text, const std::string &join = "-'");
// Computes every file of the index, damage applied and missing_files left out.
IndexFiles build_index(const IndexSpec &spec);
// Writes every file of files.files into dir.
void write_index_files(const std::string &dir, const IndexFiles &files);
// build_index and write_index_files in one.
IndexFiles write_index(const std::string &dir, const IndexSpec &spec);
// Writes the files of an index without pages into dir, all but settings.vdat,
// and returns settings with the index keys added, for tests that write the
// settings themselves.
SettingsSpec write_empty_index(const std::string &dir, const SettingsSpec &settings);

}  // namespace testsupport
