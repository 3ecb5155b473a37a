// What the indexer's front end hands to the index builder: one page's text and
// facts as read from a source file, and the options of the whole run. The
// front end (walking the sources, parsing HTML, text and PDF files, reading the
// configuration) fills these; the builder (tokens, stems, postings, scores,
// zones, the index files and settings.vdat) consumes them.
#pragma once

#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

namespace indexer {

// The part of a page a run of text comes from. The builder turns these into
// the zone bits of the postings.
enum class TextZone : uint8_t {
    kTitle,        // the document's title
    kHeading,      // h1 to h6
    kBody,         // ordinary body text
    kDescription,  // meta description
    kKeywords,     // meta keywords
};

// One run of text in document order. Text is valid UTF-8 (the front end has
// replaced invalid bytes) with white space collapsed; runs are separate blocks
// (no word continues from one run into the next).
struct TextRun {
    TextZone zone = TextZone::kBody;
    std::string text;
};

// One page as the front end read it. Texts are valid UTF-8 and uncut: the
// builder keeps the layout's limits and reports what it cuts.
struct ExtractedPage {
    std::string path;               // below its source root, '/'-separated (notices, rules)
    std::string url;                // absolute link: the base URL plus the escaped path
    std::string title;              // the document's title ("" when it has none)
    std::string description;        // meta description, else the first sentences of the body
    std::vector<TextRun> runs;      // every searchable text, title first, in document order
    uint32_t date = 0;              // seconds since 1970: meta date, else the file's time
    uint32_t size = 0;              // bytes of the source file (at most 4 GB - 1)
    uint8_t file_type = 0;          // 0 HTML, 1 plain text, 2 PDF
    uint8_t boost = 0;              // 0 none; else the page's scores are scaled by boost / 10
    std::vector<int> categories;    // category numbers (indexes into BuildOptions::categories)
    std::vector<std::string> meta;  // one raw value per BuildOptions::meta_fields; "" none
};

// One custom meta field, read from <meta name="name" content="...">.
struct MetaFieldOption {
    std::string name;                  // the meta tag's name and the field's CGI parameter
    int type = 1;                      // 0 numeric, 1 text, 2 drop-down, 3 multiple choice, 4 money
    std::string caption;               // shown before the value in a result block
    std::string label;                 // shown in the search form ("" = the caption)
    std::vector<std::string> options;  // the choices of types 2 and 3
    int match_op =
        -1;  // 1 <, 2 <=, 3 >, 4 >=, 5 contains, 0 equal; -1: contains for text, else equal
};

// Everything a run is asked to build, from the command line and the config file.
struct BuildOptions {
    std::string base_url;                      // pages' links are this plus their path
    std::string site_name;                     // page and feed titles
    std::string language = "english";          // a libstemmer algorithm name, or "none"
    bool map_accents = true;                   // accent lines written to the settings
    std::vector<std::string> categories;       // names; empty: no categories
    std::vector<MetaFieldOption> meta_fields;  // empty: no meta fields
    std::vector<std::pair<std::string, std::string>> recommended;  // keywords, URL
    std::vector<std::pair<std::string, std::string>> settings;     // further key, value text
    bool quiet = false;                                            // no notices on standard error
    std::vector<std::pair<std::string, std::string>> template_files;  // name, bytes
};

}  // namespace indexer
