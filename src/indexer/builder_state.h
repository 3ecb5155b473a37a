// The index builder's internal state and the routines its files share.
#pragma once

#include <stdint.h>

#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "context/settings_writer.h"
#include "index/index_writer.h"
#include "indexer/index_builder.h"

namespace indexer {

// ---- tokens.cpp ----

// The fixed rules of the per-page step.
struct TokenRules {
    int stemming_algo = -1;   // libstemmer algorithm number; -1 none
    bool map_accents = true;  // accent mapping before lower-casing
    std::string join_chars;   // WordJoinChars kept between word characters
};
// The reserved punctuation tokens: texts as the dictionary holds them (HTML
// safe), one per character; ids follow from reserved_token_id.
const std::vector<std::string> &reserved_texts();
// Reserved-id layout: boundaries 0 and 1, then four classes of
// reserved_texts().size() ids each: spaced, suffix, prefix, no-space.
enum SpacingClass { kSpaced = 0, kSuffix = 1, kPrefix = 2, kNoSpace = 3 };
uint32_t reserved_token_id(uint32_t token, SpacingClass spacing);
uint32_t reserved_id_limit();  // the highest reserved id (DictReservedLimit)
PageAnalysis analyze_page(const TokenRules &rules, const ExtractedPage &page);

// ---- accents.cpp ----

// Accented characters and their plain replacements (both cases), as the
// settings' accent lines list them.
const std::vector<std::pair<std::string, std::string>> &accent_pairs();
// text with every accented character replaced, as the search maps a query.
void map_accents_into(const char *text, size_t size, std::string &out);

// ---- index_builder.cpp ----

// Interned texts: stable views into chunks.
class TextPool {
   public:
    std::string_view keep(std::string_view text);

   private:
    std::deque<std::string> chunks_;
};

struct SurfaceEntry {
    std::string_view text;
    uint32_t base;
    uint32_t pages = 0;  // pages it occurs on
};
struct BaseEntry {
    std::string_view text;
    uint32_t pages = 0;  // pages it occurs on (document frequency)
};
struct PostingEntry {
    uint32_t base;
    uint32_t page;
    uint32_t record;  // its page-text record, counted from the page start record
    uint16_t weight;
    uint8_t zones;
    uint8_t section;
};
static_assert(sizeof(PostingEntry) == 16, "postings stay compact");
struct PageEntry {
    uint64_t text_start;  // index of its page start record in page_text
    uint32_t section_words[kSectionCount];
};

struct IndexBuilder::State {
    BuildOptions options;
    TokenRules rules;
    std::string error;
    std::vector<Notice> notices;
    SettingsFileOut settings;  // checked keys of the options (without index keys)
    int money_decimals = 0;    // MetaMoneyShowDec

    TextPool pool;
    std::unordered_map<std::string_view, uint32_t> surface_ids, base_ids;
    std::vector<SurfaceEntry> surfaces;
    std::vector<BaseEntry> bases;
    std::vector<PostingEntry> postings;
    std::vector<PageEntry> pages;
    std::vector<uint32_t> page_text;  // surface id, or kReservedFlag | reserved id
    std::vector<std::string> urls;
    std::string page_data, page_info;
    PageInfoLayout info_layout;
    std::unordered_map<std::string, uint32_t> phrases;  // two-word phrase -> pages

    void notice(const std::string &path, const std::string &message);
};

// ---- build_settings.cpp ----

// Checks the options and fills state.settings, rules and layout. false with state.error.
bool prepare_settings(IndexBuilder::State &state);
// The page's meta values as the page-info file lays them out (notices for values that do not fit).
std::vector<MetaValueOut> meta_values(IndexBuilder::State &state, const ExtractedPage &page);
// The whole settings.vdat text with the index keys.
struct IndexTotals {
    uint32_t keywords = 0, variants = 0, spellings = 0, recommended = 0;
    uint64_t base_pool = 0, variant_pool = 0, page_info_size = 0;
    int dict_id_len = 3;
    size_t list_line = 0;  // longest list line, LF included
};
bool settings_text(const IndexBuilder::State &state, const IndexTotals &totals, std::string &out,
                   std::string *error);

// ---- scoring.cpp ----

// The score byte of a posting (see scoring.cpp).
struct ScoreContext {
    uint32_t page_count = 0;
    double average_words[kSectionCount] = {1, 1, 1};
};
ScoreContext score_context(const IndexBuilder::State &state);
uint8_t posting_score(const ScoreContext &context, const PostingEntry &posting,
                      uint32_t pages_with_word, uint32_t section_words);
// Zone bit of the record at reading position q of a page of `total` records.
uint8_t zone_bit(uint32_t q, uint32_t total);

// ---- lists ----

// spelling_list.cpp: the spelling list of the base words (ids from first_word_id).
std::string spelling_list(const IndexBuilder::State &state, uint32_t first_word_id,
                          uint32_t *lines);
// autocomplete_list.cpp: the autocomplete list.
std::string autocomplete_list(const IndexBuilder::State &state);

}  // namespace indexer
