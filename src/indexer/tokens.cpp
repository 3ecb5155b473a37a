// The per-page step: splits a page's runs into words and reserved punctuation
// tokens, finds each distinct spelling's base word (accent mapping, lower
// case, stem: what the search does to a query word) and counts, per base word
// and section, its weighted occurrences, its first record and the zones it
// occurs in.
//
// Characters: spaces (ASCII white space and control bytes, the Unicode
// spaces) separate words; word characters are ASCII letters and digits and
// every other character above U+007F that is no punctuation or symbol; a soft
// hyphen or zero-width joiner inside a word is dropped; the characters of
// reserved_texts() are reserved tokens; other symbols separate words. A
// '+' run of two or more and a '#' directly after a word and before no word
// character belong to it ("c++", "c#"), as the query keeps them; a
// WordJoinChars character between two word characters joins them. A word
// longer than kMaxWordBytes keeps its first kMaxWordBytes bytes (whole
// characters); the rest of it is dropped.
#include <libstemmer.h>
#include <string.h>

#include <unordered_map>

#include "context/utf8.h"
#include "indexer/builder_state.h"
#include "text/text.h"

namespace indexer {

namespace {

constexpr size_t kMaxWordBytes = 64;    // longest word kept (a dictionary line holds far more)
constexpr uint16_t kHeadingWeight = 3;  // a heading occurrence counts as three body ones
constexpr uint16_t kPlainWeight = 1;

// Reserved characters: ASCII punctuation, then typographic marks.
const char *const kReservedChars[] = {
    "!",      "&quot;", "#",      "$",      "%",      "&amp;",  "'",      "(",      ")",
    "*",      "+",      ",",      "-",      ".",      "/",      ":",      ";",      "&lt;",
    "=",      "&gt;",   "?",      "@",      "[",      "\\",     "]",      "^",      "_",
    "`",      "{",      "|",      "}",      "~",      "\u2013", "\u2014", "\u2018", "\u2019",
    "\u201C", "\u201D", "\u2026", "\u00AB", "\u00BB", "\u2022", "\u00B7", "\u00A9", "\u00AE",
    "\u2122", "\u00B0", "\u00A7", "\u00B6", "\u2020", "\u2021", "\u20AC", "\u00A3", "\u00A5",
    "\u00A2", "\u00BF", "\u00A1", "\u00D7", "\u00F7", "\u2192", "\u2190"};
constexpr uint32_t kReservedCount = sizeof kReservedChars / sizeof kReservedChars[0];
constexpr uint32_t kAsciiPunctCount = 32;
// Code points of the typographic marks, in kReservedChars order after the ASCII ones.
const uint32_t kReservedCodePoints[] = {
    0x2013, 0x2014, 0x2018, 0x2019, 0x201C, 0x201D, 0x2026, 0xAB,   0xBB,   0x2022,
    0xB7,   0xA9,   0xAE,   0x2122, 0xB0,   0xA7,   0xB6,   0x2020, 0x2021, 0x20AC,
    0xA3,   0xA5,   0xA2,   0xBF,   0xA1,   0xD7,   0xF7,   0x2192, 0x2190};
static_assert(kAsciiPunctCount + sizeof kReservedCodePoints / sizeof kReservedCodePoints[0] ==
                  kReservedCount,
              "one code point per typographic mark");
constexpr char kAsciiPunct[] = "!\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~";
static_assert(sizeof kAsciiPunct - 1 == kAsciiPunctCount, "the ASCII punctuation characters");

enum CharKind { kSpace, kWord, kToken, kDrop, kIgnore };

struct Char {
    CharKind kind;
    uint32_t token;  // kToken: index in kReservedChars
    uint32_t cp;
    int size;  // bytes
};

bool is_space_cp(uint32_t cp) {
    return cp <= 0x20 || cp == 0x7F || (cp >= 0x80 && cp <= 0xA0) || cp == 0x1680 ||
           (cp >= 0x2000 && cp <= 0x200B) || cp == 0x2028 || cp == 0x2029 || cp == 0x202F ||
           cp == 0x205F || cp == 0x3000 || cp == 0xFEFF;
}

// Punctuation and symbol blocks: Latin-1 signs, general punctuation to
// miscellaneous symbols, CJK punctuation.
bool is_symbol_cp(uint32_t cp) {
    return (cp >= 0xA1 && cp <= 0xBF) || cp == 0xD7 || cp == 0xF7 ||
           (cp >= 0x2000 && cp <= 0x2BFF) || (cp >= 0x3000 && cp <= 0x303F);
}

Char classify(const unsigned char *text, size_t size) {
    Char ch{kDrop, 0, text[0], 1};
    if (text[0] < 0x80) {
        const unsigned char b = text[0];
        if ((b >= '0' && b <= '9') || (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z'))
            ch.kind = kWord;
        else if (b <= ' ' || b == 0x7F)
            ch.kind = kSpace;
        else {
            ch.kind = kToken;
            ch.token = (uint32_t)(strchr(kAsciiPunct, b) - kAsciiPunct);
        }
        return ch;
    }
    const int length = utf8_decode(text, size, &ch.cp);
    if (length == 0) return ch;
    ch.size = length;
    if (ch.cp == 0xAD || ch.cp == 0x200C || ch.cp == 0x200D) {
        ch.kind = kIgnore;
    } else if (is_space_cp(ch.cp)) {
        ch.kind = kSpace;
    } else if (is_symbol_cp(ch.cp)) {
        ch.kind = kDrop;
        for (uint32_t i = kAsciiPunctCount; i < kReservedCount; i++)
            if (kReservedCodePoints[i - kAsciiPunctCount] == ch.cp) {
                ch.kind = kToken;
                ch.token = i;
            }
    } else {
        ch.kind = kWord;
    }
    return ch;
}

// One thread's stemmer, made for the algorithm it is asked for.
struct ThreadStemmer {
    sb_stemmer *stemmer = nullptr;
    int algo = -1;
    ~ThreadStemmer() { sb_stemmer_delete(stemmer); }
    sb_stemmer *get(int wanted) {
        if (wanted != algo) {
            sb_stemmer_delete(stemmer);
            stemmer = wanted >= 0 ? new_utf8_stemmer(wanted) : nullptr;
            algo = wanted;
        }
        return stemmer;
    }
};
thread_local ThreadStemmer t_stemmer;

// Collects the tokens of one page.
class PageScanner {
   public:
    PageScanner(const TokenRules &rules, PageAnalysis &out)
        : rules_(rules), out_(out), stemmer_(t_stemmer.get(rules.stemming_algo)) {}

    void scan_run(const std::string &text, int section, uint16_t weight, bool phrases);
    void finish();

   private:
    void add_word(const char *word, size_t size, int section, uint16_t weight, bool phrases);
    void add_token(uint32_t token, bool space_before, bool space_after, int section);
    uint32_t surface_of(const char *word, size_t size);
    uint32_t base_of(const std::string &base);

    const TokenRules &rules_;
    PageAnalysis &out_;
    sb_stemmer *stemmer_;
    std::vector<uint32_t> section_records_[kSectionCount];
    std::unordered_map<std::string, uint32_t> surface_index_, base_index_;
    std::string scratch_, mapped_;
    uint32_t last_word_ = UINT32_MAX;  // spelling of the previous token when it was a word
};

uint32_t PageScanner::base_of(const std::string &base) {
    auto found = base_index_.find(base);
    if (found != base_index_.end()) return found->second;
    const uint32_t index = (uint32_t)out_.bases.size();
    out_.bases.push_back({(uint32_t)out_.arena.size(), (uint32_t)base.size()});
    out_.base_hash.push_back(text_hash(base.data(), base.size()));
    out_.arena += base;
    out_.stats.emplace_back();
    base_index_.emplace(base, index);
    return index;
}

uint32_t PageScanner::surface_of(const char *word, size_t size) {
    scratch_.assign(word, size);
    auto found = surface_index_.find(scratch_);
    if (found != surface_index_.end()) return found->second;
    const uint32_t index = (uint32_t)out_.surfaces.size();
    surface_index_.emplace(scratch_, index);
    out_.surfaces.push_back({(uint32_t)out_.arena.size(), (uint32_t)size});
    out_.surface_hash.push_back(text_hash(word, size));
    out_.arena.append(word, size);
    // The base word: what the search makes of the same text typed as a query word.
    if (rules_.map_accents)
        map_accents_into(word, size, mapped_);
    else
        mapped_.assign(word, size);
    const int capacity = utf8_lower_capacity((int)mapped_.size());
    mapped_.resize((size_t)capacity);
    mapped_.resize((size_t)utf8_to_lower(&mapped_[0], capacity));
    if (stemmer_ != nullptr && stem_word_with(stemmer_, &mapped_[0], (int)mapped_.size()))
        mapped_.resize(strlen(mapped_.c_str()));
    out_.surface_base.push_back(base_of(mapped_));
    return index;
}

void PageScanner::add_word(const char *word, size_t size, int section, uint16_t weight,
                           bool phrases) {
    const uint32_t surface = surface_of(word, size);
    PageAnalysis::WordStats &stats = out_.stats[out_.surface_base[surface]];
    std::vector<uint32_t> &records = section_records_[section];
    if (stats.weight[section] == 0) stats.first[section] = (uint32_t)records.size();
    const uint32_t sum = stats.weight[section] + weight;
    stats.weight[section] = (uint16_t)(sum > UINT16_MAX ? UINT16_MAX : sum);
    records.push_back(surface);
    out_.section_words[section]++;
    if (phrases && last_word_ != UINT32_MAX) out_.phrases.emplace_back(last_word_, surface);
    last_word_ = surface;
}

void PageScanner::add_token(uint32_t token, bool space_before, bool space_after, int section) {
    const SpacingClass spacing =
        space_before ? (space_after ? kSpaced : kPrefix) : (space_after ? kSuffix : kNoSpace);
    section_records_[section].push_back(kReservedFlag | reserved_token_id(token, spacing));
    last_word_ = UINT32_MAX;
}

void PageScanner::scan_run(const std::string &text, int section, uint16_t weight, bool phrases) {
    const unsigned char *bytes = (const unsigned char *)text.data();
    const size_t size = text.size();
    std::string word;
    bool cut = false, space_before = true;
    last_word_ = UINT32_MAX;
    auto end_word = [&]() {
        if (!word.empty()) add_word(word.data(), word.size(), section, weight, phrases);
        word.clear();
        cut = false;
    };
    for (size_t i = 0; i < size;) {
        const Char ch = classify(bytes + i, size - i);
        const size_t next_at = i + (size_t)ch.size;
        const Char next =
            next_at < size ? classify(bytes + next_at, size - next_at) : Char{kSpace, 0, ' ', 1};
        bool joins = false;
        if (ch.kind == kToken && !word.empty()) {
            const char c = (char)ch.cp;
            if (c == '#' || c == '+') {
                size_t run = 1;
                while (c == '+' && next_at + run - 1 < size && bytes[next_at + run - 1] == '+')
                    run++;
                const size_t after = i + run;
                const bool word_follows =
                    after < size && classify(bytes + after, size - after).kind == kWord;
                if (!word_follows && (c == '#' || run >= 2) && word.size() + run <= kMaxWordBytes) {
                    if (!cut) word.append(text, i, run);
                    end_word();
                    i = after;
                    space_before = false;
                    continue;
                }
            }
            joins = ch.cp < 0x80 && rules_.join_chars.find(c) != std::string::npos &&
                    next.kind == kWord;
        }
        if (ch.kind == kWord || joins) {
            if (word.size() + (size_t)ch.size > kMaxWordBytes) cut = true;
            if (!cut) word.append(text, i, (size_t)ch.size);
        } else if (ch.kind != kIgnore) {
            end_word();
            if (ch.kind == kToken)
                add_token(ch.token, space_before, next.kind == kSpace || next.kind == kDrop,
                          section);
            else if (ch.kind == kDrop)
                last_word_ = UINT32_MAX;  // a symbol between two words: no phrase
            space_before = ch.kind == kSpace || ch.kind == kDrop;
        }
        if (ch.kind == kWord || joins) space_before = false;
        i = next_at;
    }
    end_word();
}

// Lays the sections out (body, title, meta after the page start record) and
// sets each base word's first records and zones.
void PageScanner::finish() {
    const uint32_t body = (uint32_t)section_records_[kSectionBody].size();
    const uint32_t title = (uint32_t)section_records_[kSectionTitle].size();
    const uint32_t meta = (uint32_t)section_records_[kSectionMeta].size();
    const uint32_t start[kSectionCount] = {1, body + 2, body + title + 3};
    // Reading order for the zones: title, description and keywords, body.
    const uint32_t reading[kSectionCount] = {title + meta, 0, title};
    const uint32_t total = body + title + meta;
    for (PageAnalysis::WordStats &stats : out_.stats)
        for (int s = 0; s < kSectionCount; s++)
            if (stats.weight[s] > 0) stats.first[s] += start[s];
    std::vector<uint32_t> &records = out_.records;
    records.reserve(total + 3);
    records.push_back(kReservedFlag | kPageStartId);
    for (int s = 0; s < kSectionCount; s++) {
        if (s > 0) records.push_back(kReservedFlag | kSectionEndId);
        const std::vector<uint32_t> &section = section_records_[s];
        for (uint32_t i = 0; i < section.size(); i++) {
            records.push_back(section[i]);
            if ((section[i] & kReservedFlag) == 0)
                out_.stats[out_.surface_base[section[i]]].zones |= zone_bit(reading[s] + i, total);
        }
    }
    out_.valid = true;
}

}  // namespace

const std::vector<std::string> &reserved_texts() {
    static const std::vector<std::string> texts(kReservedChars, kReservedChars + kReservedCount);
    return texts;
}

uint32_t reserved_token_id(uint32_t token, SpacingClass spacing) {
    return kFirstTokenId + (uint32_t)spacing * kReservedCount + token;
}

uint32_t reserved_id_limit() {
    return kFirstTokenId + 4 * kReservedCount - 1;
}

PageAnalysis analyze_page(const TokenRules &rules, const ExtractedPage &page) {
    load_unicode_tables();  // words are lower-cased through the case table
    PageAnalysis out;
    PageScanner scanner(rules, out);
    bool title_run = false;
    for (const TextRun &run : page.runs) title_run = title_run || run.zone == TextZone::kTitle;
    if (!title_run) scanner.scan_run(page.title, kSectionTitle, kPlainWeight, true);
    for (const TextRun &run : page.runs) {
        switch (run.zone) {
            case TextZone::kTitle:
                scanner.scan_run(run.text, kSectionTitle, kPlainWeight, true);
                break;
            case TextZone::kHeading:
                scanner.scan_run(run.text, kSectionBody, kHeadingWeight, true);
                break;
            case TextZone::kBody:
                scanner.scan_run(run.text, kSectionBody, kPlainWeight, false);
                break;
            case TextZone::kDescription:
            case TextZone::kKeywords:
                scanner.scan_run(run.text, kSectionMeta, kPlainWeight, false);
                break;
        }
    }
    scanner.finish();
    return out;
}

}  // namespace indexer
