// The configuration of one indexing run: the command line of sitequery-index
// and its config file, read into the builder's options and the front end's
// own (sources, patterns, categories, jobs, publishing).
#pragma once

#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

#include "indexer/page_extract.h"
#include "indexer/page_source.h"

namespace indexer {

enum class CategoryMode { kNone, kFolders, kRules };

constexpr uint64_t kDefaultMaxFileBytes = 32ull << 20;  // larger files are read up to this
constexpr int kMaxJobs = 256;                           // threads of extraction, at most
constexpr int kMaxBoost = 255;                          // a page's boost is one byte

struct RunConfig {
    BuildOptions build;                // what the builder is asked to build
    ExtractOptions extract;            // how pages are read (meta_names follow build.meta_fields)
    std::vector<std::string> sources;  // folders and files to index, as given
    std::string index_dir;             // the index written ("" with publish_link)
    std::string publish_link;          // --publish: the symlink switched to the new index
    std::string template_dir;          // template files from here ("": the built-in ones)
    std::vector<std::string> include{"*.html", "*.htm", "*.xhtml", "*.shtml", "*.txt", "*.pdf"};
    std::vector<std::string> exclude;  // patterns of files and folders left out
    CategoryMode category_mode = CategoryMode::kNone;
    std::vector<std::pair<std::string, std::string>> category_rules;  // pattern, category
    std::vector<std::pair<std::string, uint8_t>> boost_rules;         // pattern, boost
    int jobs = 0;                                                     // threads; 0: one per core
    bool quiet = false;                                               // nothing but errors
    bool verbose = false;  // the summary also off a terminal
    uint64_t max_file_bytes = kDefaultMaxFileBytes;
};

// The usage text printed for --help and after a wrong command line.
extern const char kUsage[];

// Reads the command line (argv[1..argc-1]) and the config file it names into
// *config. False with *error set (one line, no line end) when an option is
// unknown or lacks its value, a value is invalid, the config file cannot be
// read or holds a wrong line, or a required part (base URL, sources, index
// folder) is missing. *help is set for --help (the result is then true).
bool read_run_config(int argc, char **argv, RunConfig *config, std::string *error, bool *help);

// Reads config file text into *config (given as path in messages). False
// with *error naming the line for a line that is not understood.
bool parse_config_text(const std::string &text, const std::string &path, RunConfig *config,
                       std::string *error);

// Whether a glob pattern matches a path below its source root: a pattern
// holding '/' is matched against the whole path ('*' also crosses folders),
// any other against the last name of the path.
bool pattern_matches(const std::string &pattern, const std::string &path);

// The boost of the page at path (below its source root): the number of the
// last [boost] rule whose pattern matches it, 0 (none) when none does.
uint8_t boost_of(const RunConfig &config, const std::string &path);

}  // namespace indexer
