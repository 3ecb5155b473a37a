// Reading one source file into a page record: the file's bytes (up to the
// run's limit), its kind's extraction, and the facts the page record holds
// besides its text (link, date, size, type, categories).
#pragma once

#include <string>
#include <vector>

#include "indexer/page_source.h"
#include "indexer/run_config.h"
#include "indexer/source_walk.h"

namespace indexer {

// What reading a file gave.
struct PageResult {
    bool indexed = false;  // page holds a page for the index
    ExtractedPage page;
    std::string reason;  // when not indexed: why it was left out
    std::string notice;  // when indexed: something worth telling ("" none)
    uint64_t bytes = 0;  // bytes read from the file
};

// How the pages of a run are read: the config, and what was found once at
// the start (whether pdftotext is there, the category of each file).
struct ReadContext {
    const RunConfig *config = nullptr;
    bool have_pdftotext = false;
};

// Whether an executable pdftotext is on the PATH.
bool find_pdftotext();

// Reads file into a page. Never throws for bad input: unreadable files,
// binary junk and files over the size limit give a reason or a notice.
// Thread-safe (several files may be read at once).
PageResult read_page(const SourceFile &file, const ReadContext &context);

// The category names of a run and each file's category numbers, by the
// config's mode: none; folders (a file's top folder below its source; files
// at the top have none); rules (every "pattern = category" that matches the
// file's path adds its category; a name is numbered where it first appears
// in the rules). Category numbers follow the order of the names returned;
// each file's are ascending, without repeats.
std::vector<std::string> assign_categories(const RunConfig &config,
                                           const std::vector<SourceFile> &files,
                                           std::vector<std::vector<int>> *categories);

}  // namespace indexer
