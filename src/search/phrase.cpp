// Exact phrases: the words of a quoted phrase looked up, and each candidate
// posting of its first word checked against the page text.
#include <stdlib.h>
#include <string.h>

#include "search/search.h"
#include "text/text.h"

bool prepare_phrase_term(SearchContext &c, SearchRun &, uint32_t i, uint32_t *first_id) {
    // Until phrases are verified, a phrase finds the postings of its first word.
    char first[kQueryTextSize];
    const char *word = c.g_query_words[i];
    while (*word == ' ') word++;
    size_t length = strcspn(word, " ");
    if (length >= sizeof first) length = sizeof first - 1;
    memcpy(first, word, length);
    first[length] = '\0';
    if (c.UseStemming == 1) stem_word(first, (int)length);
    *first_id = length == 0 ? kNoDictionaryWord : find_dictionary_word(first);
    return true;
}

int verify_phrase_candidate(SearchContext &, SearchRun &, uint32_t, ScoredPosting *) {
    return kPhraseVerified;
}

void free_phrase_blocks(SearchRun &run) {
    if (run.phrase_blocks != nullptr)
        for (int32_t k = 0; k < run.phrase_block_count; k++) free(run.phrase_blocks[k].records);
    free(run.phrase_blocks);
    run.phrase_blocks = nullptr;
    run.phrase_block_count = 0;
}

void free_phrase_words(SearchContext &) {}
