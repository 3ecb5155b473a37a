// libFuzzer target of page reading: the first input byte picks the file kind
// (HTML or plain text), the fallback charset and whether custom meta fields
// are read; the rest is the file. Checked after every input: every text
// handed on (title, description, runs, meta values) is valid UTF-8 with no
// blank at either end of a run and no empty run, and the title comes first.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <libxml/parser.h>

#include "indexer/page_extract.h"
#include "indexer/page_text.h"

namespace {

const char *const kFallbacks[] = {"windows-1252", "utf-8", "shift_jis", "koi8-r"};

void check_text(const std::string &text) {
    if (!indexer::is_valid_utf8(text.data(), text.size())) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const bool initialised = (xmlInitParser(), true);
    (void)initialised;
    if (size < 1) return 0;
    const uint8_t flags = data[0];
    indexer::ExtractOptions options;
    options.fallback_charset = kFallbacks[(flags >> 1) & 3];
    if (flags & 8) options.meta_names = {"author", "price"};
    indexer::ExtractedPage page;
    indexer::ExtractFacts facts;
    const char *bytes = (const char *)data + 1;
    if (flags & 1)
        indexer::extract_text(bytes, size - 1, options, &page, &facts);
    else
        indexer::extract_html(bytes, size - 1, options, &page, &facts);
    check_text(page.title);
    check_text(page.description);
    for (const indexer::TextRun &run : page.runs) {
        check_text(run.text);
        if (run.text.empty() || run.text.front() == ' ' || run.text.back() == ' ') abort();
    }
    if (!page.title.empty() &&
        (page.runs.empty() || page.runs[0].zone != indexer::TextZone::kTitle))
        abort();
    if (page.meta.size() != options.meta_names.size()) abort();
    for (const std::string &value : page.meta) check_text(value);
    return 0;
}
