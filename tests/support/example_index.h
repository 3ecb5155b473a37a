// Test support: the example index under examples/site, a dozen pages of notes
// on beekeeping. make_example writes it; a test keeps the committed copy equal
// to what the writer makes of it. Not part of the program.
#pragma once

#include "support/index_files.h"

namespace testsupport {

// The page template of the example site.
extern const char kExampleTemplate[];

// The example index, its settings and template included.
IndexSpec example_index();

}  // namespace testsupport
