// The index builder's internal state and the routines its files share.
#pragma once

#include <stdint.h>

#include <deque>
#include <memory>
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

// text in lower case, through the case table.
std::string lower_text(std::string_view text);
// Length of the longest start of text of at most limit bytes that ends on a
// character boundary (a lead byte never stays without its continuation).
size_t utf8_prefix(const std::string &text, size_t limit);

// A 64-bit hash of a text (the intern tables' key; computed by the per-page step).
uint64_t text_hash(const char *text, size_t size);

// A growing array in 1 MB chunks: appending never moves or copies what is
// there, and untouched room costs no memory.
template <typename T>
class Chunked {
   public:
    static constexpr size_t kChunk = ((size_t)1 << 20) / sizeof(T);
    void push_back(const T &value) {
        if (size_ % kChunk == 0) chunks_.emplace_back(new T[kChunk]);
        chunks_.back()[size_ % kChunk] = value;
        size_++;
    }
    const T &operator[](size_t i) const { return chunks_[i / kChunk][i % kChunk]; }
    size_t size() const { return size_; }

   private:
    std::vector<std::unique_ptr<T[]>> chunks_;
    size_t size_ = 0;
};

// Ids of interned texts by hash: open addressing over (hash, id) slots; the
// texts themselves stay with the caller, who compares them.
class InternTable {
   public:
    static constexpr uint32_t kNone = UINT32_MAX;
    // The id whose text `same` accepts among those of this hash, or kNone.
    template <typename Same>
    uint32_t find(uint64_t hash, const Same &same) const {
        if (slots_.empty()) return kNone;
        for (size_t at = hash & (slots_.size() - 1);; at = (at + 1) & (slots_.size() - 1)) {
            const Slot &slot = slots_[at];
            if (slot.id == kNone) return kNone;
            if (slot.hash == hash && same(slot.id)) return slot.id;
        }
    }
    void insert(uint64_t hash, uint32_t id);

   private:
    struct Slot {
        uint64_t hash;
        uint32_t id;
    };
    std::vector<Slot> slots_;
    size_t used_ = 0;
};

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
    InternTable surface_ids, base_ids;
    std::vector<SurfaceEntry> surfaces;
    std::vector<BaseEntry> bases;
    Chunked<PostingEntry> postings;
    std::vector<PageEntry> pages;
    Chunked<uint32_t> page_text;  // surface id, or kReservedFlag | reserved id
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
// How rare a word found on pages_with_word pages is: 1 for a word on one
// page, towards 0 for a word on every page.
double word_rarity(const ScoreContext &context, uint32_t pages_with_word);
uint8_t posting_score(const ScoreContext &context, const PostingEntry &posting, double rarity,
                      uint32_t section_words);
// Zone bit of the record at reading position q of a page of `total` records.
uint8_t zone_bit(uint32_t q, uint32_t total);

// ---- lists ----

// spelling_list.cpp: the spelling list of the base words (ids from first_word_id).
std::string spelling_list(const IndexBuilder::State &state, uint32_t first_word_id,
                          uint32_t *lines);
// autocomplete_list.cpp: the autocomplete list.
std::string autocomplete_list(const IndexBuilder::State &state);

}  // namespace indexer
