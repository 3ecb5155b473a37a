// Score bytes and zone bits of the postings.
//
// The search adds a posting's score byte to its page's score for every
// posting of every query word, and multiplies the sum by a factor that grows
// with the page's zone byte: the zone byte of its first posting ANDed with
// those of all later ones, read as a number (bit 7 worth most). It also
// requires of an exact phrase that each later word's zone bits meet the first
// word's bits, or the bits one part later (shifted left by one).
//
// Zones: a page's records are divided, in reading order (title, description
// and keywords, body), into eight parts of at least kMinPartRecords records;
// bit 7 is the first part, bit 0 the last. A word's zone byte on a page is
// the set of parts it occurs in, the same on each of its postings there. So
// the AND over the query words keeps the parts that hold all of them, and
// pages where the words meet early (title, start of the text) rank higher;
// a phrase of up to kMinPartRecords records spans at most two adjacent parts,
// which the phrase check's rule allows.
//
// Score byte: BM25-like. For a word with weighted count tf in a section of
// length len (words) on a page, against the average length avg of that
// section over the site, and found on df of the site's N pages:
//   saturation = tf (k1 + 1) / (tf + k1 (1 - b + b len / avg)) / (k1 + 1)  in (0, 1)
//   rarity     = idf / idf of a word on one page, idf = ln(1 + (N - df + 0.5) / (df + 0.5))
//   score      = scale(section) x saturation x (kRarityFloor + (1 - kRarityFloor) rarity)
// rounded, at least 1 and at most 255. Headings count kHeadingWeight times
// (tokens.cpp); the title's scale is the largest, the description's and
// keywords' the smallest.
#include <math.h>

#include "indexer/builder_state.h"

namespace indexer {

namespace {

constexpr uint32_t kMinPartRecords = 64;  // smallest part of a page for the zones
constexpr int kZoneParts = 8;
constexpr double kK1 = 1.2, kB = 0.75;
constexpr double kRarityFloor = 0.3;  // a word on every page keeps this share of its score
constexpr double kSectionScale[kSectionCount] = {200.0, 255.0, 120.0};  // body, title, meta
constexpr double kMaxScore = 255.0;

}  // namespace

uint8_t zone_bit(uint32_t q, uint32_t total) {
    uint32_t part = (total + kZoneParts - 1) / kZoneParts;
    if (part < kMinPartRecords) part = kMinPartRecords;
    uint32_t index = q / part;
    if (index >= (uint32_t)kZoneParts) index = kZoneParts - 1;
    return (uint8_t)(0x80u >> index);
}

ScoreContext score_context(const IndexBuilder::State &state) {
    ScoreContext context;
    context.page_count = (uint32_t)state.pages.size();
    for (int s = 0; s < kSectionCount; s++) {
        double sum = 0;
        for (const PageEntry &page : state.pages) sum += page.section_words[s];
        const double average = context.page_count > 0 ? sum / context.page_count : 1.0;
        context.average_words[s] = average > 1.0 ? average : 1.0;
    }
    return context;
}

double word_rarity(const ScoreContext &context, uint32_t pages_with_word) {
    const double n = context.page_count > 0 ? context.page_count : 1;
    const double df = pages_with_word > 0 ? pages_with_word : 1;
    const double idf = log(1.0 + (n - df + 0.5) / (df + 0.5));
    const double idf_one = log(1.0 + (n - 0.5) / 1.5);
    return idf_one > 0 ? idf / idf_one : 1.0;
}

uint8_t posting_score(const ScoreContext &context, const PostingEntry &posting, double rarity,
                      uint32_t section_words) {
    const double tf = posting.weight;
    const double length = section_words > 0 ? section_words : 1;
    const double norm = 1.0 - kB + kB * length / context.average_words[posting.section];
    const double saturation = tf * (kK1 + 1.0) / (tf + kK1 * norm) / (kK1 + 1.0);
    double score = kSectionScale[posting.section] * saturation *
                   (kRarityFloor + (1.0 - kRarityFloor) * rarity);
    score = floor(score + 0.5);
    if (score < 1.0) score = 1.0;
    if (score > kMaxScore) score = kMaxScore;
    return (uint8_t)score;
}

}  // namespace indexer
