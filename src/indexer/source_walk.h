// Finding the files of a run: the sources of the command line walked in
// sorted order (byte order of the names, so that every run sees the same
// list), with the include and exclude patterns applied, symlink loops and
// files reached twice detected, and every file left out given a reason.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "indexer/run_config.h"

namespace indexer {

enum class FileKind : uint8_t { kHtml = 0, kText = 1, kPdf = 2 };

struct SourceFile {
    std::string full_path;  // as opened: the source joined with the path below it
    std::string path;       // below its source root, '/'-separated (a file source: its name)
    uint64_t size = 0;      // bytes, as stat gave them
    int64_t mtime = 0;      // seconds since 1970
    FileKind kind = FileKind::kHtml;
};

struct SkippedFile {
    std::string path;    // as printed: the full path, odd bytes escaped
    std::string reason;  // why it was left out
};

struct SourceList {
    std::vector<SourceFile> files;     // in the order pages are added
    std::vector<SkippedFile> skipped;  // in the order they were met
    uint64_t total_bytes = 0;          // of the files, each counted up to the read limit
};

// Walks config.sources. A source that does not exist or cannot be read is a
// skipped entry, not an error; names beginning with '.' are passed over.
SourceList walk_sources(const RunConfig &config);

// The kind of a file by its name's extension (.txt text, .pdf PDF, else HTML).
FileKind kind_of(const std::string &path);

}  // namespace indexer
