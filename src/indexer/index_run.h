// One whole indexing run: the sources walked, the pages read in parallel and
// handed to the index builder in file order, the index directory written (or
// published under a symlink), progress and the summary shown.
#pragma once

#include <vector>

#include "indexer/run_config.h"
#include "indexer/template_files.h"

namespace indexer {

// Runs the indexing that config describes, with template_files written into
// the index directory. Returns the process's exit status: 0 written; 1 no
// page to index, or the index could not be written (a message on standard
// error says why).
int run_index(const RunConfig &config, const std::vector<NamedFile> &template_files);

}  // namespace indexer
