// The search engine: term lookup, scoring, filtering, ranking, the result page,
// and the autocomplete answer. Public routines grouped by the file that defines them.
#pragma once

#include "context/context.h"

// ---- autocomplete.cpp ----
constexpr int kMinKeyWordLineLen = 2;  // smallest usable MaxKeyWordLineLen

// Prints one item for every line of vesk_autocomplete.vdat that begins with a
// query word (ASCII letters compared without case). 1 when the file was read,
// 0 after an error (missing file, invalid MaxKeyWordLineLen, no memory).
int print_autocomplete(SearchContext *context);
