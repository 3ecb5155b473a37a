// The index builder: turns the pages the front end extracted into the files of
// an index directory (settings.vdat, the index files, the template files).
//
// Use:
//   IndexBuilder builder(options);            // checks the options
//   if (!builder.ok()) -> builder.error()
//   for each page, on any thread:  PageAnalysis a = builder.analyze(page);
//   in page order, on one thread:  builder.add(page, std::move(a));
//   builder.write(dir, &error);
//   builder.notices(): what was cut or left out, for the front end to print.
// analyze is pure (it reads only the builder's fixed rules) and may run on
// many threads at once, also while add runs; add and write run on one thread,
// one call at a time.
// The files depend only on the options and the pages in add order, never on
// the number of threads.
//
// Design of the index (what the search expects of it):
// - Tokens: words are runs of letters and digits (ASCII alphanumerics and
//   every character above U+007F that is not punctuation or a space),
//   "c++" and "c#" style endings, and the WordJoinChars between word
//   characters; every ASCII punctuation character and the common typographic
//   ones are reserved tokens, so that excerpts show the text with its
//   punctuation and phrases match across it. A reserved token comes in four
//   classes by the spacing around it in the source (spaced, suffix, prefix,
//   no space), so that excerpts space it as the page did.
// - Words: the base word (dictionary entry) of a token is its stem (the
//   language's stemmer, as the search stems query words) of its lower-case
//   form after accent mapping; the token's own spellings are the entry's
//   variants, most frequent first.
// - Page text of a page: page start (id 0), the body (headings and text),
//   a section end (id 1), the title, a section end, the description and
//   keywords. The body comes first so that a page's first posting, which the
//   excerpt starts from, lies in its body text.
// - Postings: one per word, page and section (body, title, description and
//   keywords), pointing at the word's first occurrence in the section; scores
//   and zones are described in scoring.cpp.
#pragma once

#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "indexer/page_source.h"

namespace indexer {

// Sections of a page's text, in the order they are stored.
enum PageSection : uint8_t { kSectionBody = 0, kSectionTitle = 1, kSectionMeta = 2 };
constexpr int kSectionCount = 3;

// What the per-page step found: the page's distinct spellings, their base
// words, its page text as references to them, and per base word its weight,
// first position and zones in each section. Only the builder reads it.
struct PageAnalysis {
    struct Text {
        uint32_t at = 0, size = 0;  // bytes in `arena`
    };
    struct WordStats {
        uint16_t weight[kSectionCount] = {0, 0, 0};  // weighted occurrences per section
        uint32_t first[kSectionCount] = {0, 0, 0};   // record of the first one, from the page start
        uint8_t zones = 0;                           // parts of the page it occurs in
    };
    std::string arena;                   // texts of surfaces and bases
    std::vector<Text> surfaces;          // distinct spellings, first-seen order
    std::vector<uint64_t> surface_hash;  // text_hash of each spelling
    std::vector<uint64_t> base_hash;     // text_hash of each base
    std::vector<uint32_t> surface_base;  // base (index into bases) of each spelling
    std::vector<Text> bases;             // distinct base words
    std::vector<WordStats> stats;        // one per base
    std::vector<uint32_t> records;       // page text: spelling index, or kReservedFlag | token id
    uint32_t section_words[kSectionCount] = {0, 0, 0};  // words per section
    std::vector<std::pair<uint32_t, uint32_t>>
        phrases;         // two-word phrases (spellings) of titles and headings
    bool valid = false;  // set by analyze
};
constexpr uint32_t kReservedFlag = 0x80000000u;  // marks a reserved token id in records

// A notice about one page ("" for the run): what was cut or left out.
struct Notice {
    std::string path;
    std::string message;
};

class IndexBuilder {
   public:
    explicit IndexBuilder(const BuildOptions &options);
    ~IndexBuilder();
    IndexBuilder(const IndexBuilder &) = delete;
    IndexBuilder &operator=(const IndexBuilder &) = delete;

    // false when the options cannot be built (unknown language or setting
    // key, a value or block that settings.vdat cannot hold); error() says why.
    bool ok() const;
    const std::string &error() const;

    // The per-page step: tokens, base words, counts. Thread-safe and pure.
    PageAnalysis analyze(const ExtractedPage &page) const;
    // The serial step: adds the page with its analysis as the next page.
    // A page beyond the page limit is left out with a notice.
    void add(const ExtractedPage &page, PageAnalysis &&analysis);
    // Writes every file into dir (which must exist). false with a clear
    // message in *error when a file cannot be written or a total exceeds what
    // the layout holds.
    bool write(const std::string &dir, std::string *error);

    const std::vector<Notice> &notices() const;
    uint32_t page_count() const;
    uint32_t word_count() const;  // distinct base words

    struct State;

   private:
    std::unique_ptr<State> state_;
};

}  // namespace indexer
