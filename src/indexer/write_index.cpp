// Writes the built index into a directory: word ids and variants are fixed
// (the reserved tokens first, then the base words in first-seen order; each
// word's spellings ordered by the pages they occur on), the page text and the
// word map are streamed through a buffer, the rest is written whole.
#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>

#include "index/index_writer.h"
#include "indexer/builder_state.h"
#include "text/text.h"

namespace indexer {

namespace {

constexpr size_t kWriteBuffer = 1 << 20;
const char *const kBoundaryWords[] = {"[[page]]", "[[section]]"};

// A file written through a buffer; the first failure is kept.
class FileOut {
   public:
    FileOut(const std::string &dir, const char *name) : path_(dir + "/" + name) {
        file_ = fopen(path_.c_str(), "wb");
        if (file_ == nullptr) fail();
        buffer_.reserve(kWriteBuffer);
    }
    ~FileOut() {
        if (file_ != nullptr) fclose(file_);
    }
    uint8_t *grow(size_t bytes) {
        if (buffer_.size() + bytes > kWriteBuffer) flush();
        const size_t at = buffer_.size();
        buffer_.resize(at + bytes);
        return (uint8_t *)&buffer_[at];
    }
    void put(const std::string &bytes) {
        flush();
        if (file_ != nullptr && !bytes.empty() &&
            fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size())
            fail();
    }
    bool close(std::string *error) {
        flush();
        if (file_ != nullptr && fclose(file_) != 0) fail();
        file_ = nullptr;
        if (!message_.empty() && error != nullptr) *error = message_;
        return message_.empty();
    }

   private:
    void flush() {
        if (file_ != nullptr && !buffer_.empty() &&
            fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size())
            fail();
        buffer_.clear();
    }
    void fail() {
        if (message_.empty()) message_ = "cannot write " + path_ + ": " + strerror(errno);
    }
    std::string path_;
    FILE *file_ = nullptr;
    std::string buffer_;
    std::string message_;
};

bool write_whole(const std::string &dir, const char *name, const std::string &bytes,
                 std::string *error) {
    FileOut out(dir, name);
    out.put(bytes);
    return out.close(error);
}

// Each base word's spellings in variant order and each spelling's variant number.
struct Variants {
    std::vector<uint32_t> first;  // per base: start in order (bases + 1 entries)
    std::vector<uint32_t> order;  // surface ids grouped by base
    std::vector<uint8_t> number;  // per surface: its variant number (0: the base word)
    std::vector<uint8_t> listed;  // per base: variants written
};

Variants make_variants(const IndexBuilder::State &s) {
    Variants v;
    const size_t bases = s.bases.size();
    v.first.assign(bases + 1, 0);
    for (const SurfaceEntry &surface : s.surfaces) v.first[surface.base + 1]++;
    for (size_t b = 0; b < bases; b++) v.first[b + 1] += v.first[b];
    v.order.resize(s.surfaces.size());
    std::vector<uint32_t> fill(v.first.begin(), v.first.end() - 1);
    for (uint32_t id = 0; id < s.surfaces.size(); id++) v.order[fill[s.surfaces[id].base]++] = id;
    v.number.assign(s.surfaces.size(), 0);
    v.listed.assign(bases, 0);
    for (size_t b = 0; b < bases; b++) {
        auto begin = v.order.begin() + v.first[b], end = v.order.begin() + v.first[b + 1];
        std::stable_sort(begin, end, [&s](uint32_t x, uint32_t y) {
            return s.surfaces[x].pages > s.surfaces[y].pages;
        });
        if (end - begin == 1 && s.surfaces[*begin].text == s.bases[b].text) continue;
        const size_t count = std::min<size_t>((size_t)(end - begin), kMaxVariantNumber);
        v.listed[b] = (uint8_t)count;
        for (size_t i = 0; i < count; i++) v.number[begin[(long)i]] = (uint8_t)(i + 1);
    }
    return v;
}

bool write_page_text(const IndexBuilder::State &s, const Variants &v, uint32_t first_word, int size,
                     const std::string &dir, std::string *error) {
    FileOut out(dir, kPageTextFileName);
    for (size_t i = 0; i < s.page_text.size(); i++) {
        const uint32_t record = s.page_text[i];
        uint32_t id = record & ~kReservedFlag;
        uint8_t variant = 0;
        if ((record & kReservedFlag) == 0) {
            id = first_word + s.surfaces[record].base;
            variant = v.number[record];
        }
        encode_page_text_record(out.grow((size_t)size), size, id, variant);
    }
    encode_page_text_record(out.grow((size_t)size), size, kPageStartId, 0);
    return out.close(error);
}

// The word map; offsets[b] receives each base word's block offset.
bool write_wordmap(const IndexBuilder::State &s, int size, std::vector<int64_t> &offsets,
                   const std::string &dir, std::string *error) {
    const size_t bases = s.bases.size();
    std::vector<uint32_t> first(bases + 1, 0);
    for (size_t i = 0; i < s.postings.size(); i++) first[s.postings[i].base + 1]++;
    offsets.assign(bases, -1);
    uint64_t at = 0;
    for (size_t b = 0; b < bases; b++) {
        offsets[b] = (int64_t)at;
        at += kWordmapCountSize + (uint64_t)first[b + 1] * kWordmapRecordSize;
        first[b + 1] += first[b];
    }
    std::vector<uint32_t> order(s.postings.size());
    std::vector<uint32_t> fill(first.begin(), first.end() - 1);
    for (uint32_t i = 0; i < s.postings.size(); i++) order[fill[s.postings[i].base]++] = i;
    const ScoreContext context = score_context(s);
    FileOut out(dir, kWordmapFileName);
    for (size_t b = 0; b < bases; b++) {
        const double rarity = word_rarity(context, s.bases[b].pages);
        encode_wordmap_count(out.grow(kWordmapCountSize), first[b + 1] - first[b]);
        for (uint32_t k = first[b]; k < first[b + 1]; k++) {
            const PostingEntry &p = s.postings[order[k]];
            const uint64_t record = s.pages[p.page].text_start + p.record;
            WordmapPostingOut posting{
                posting_score(context, p, rarity, s.pages[p.page].section_words[p.section]),
                p.zones, p.page, record * (uint64_t)size};
            if (!wordmap_posting_fits(posting)) {
                *error = "the page text is larger than 1 TB, which postings cannot point into";
                return false;
            }
            encode_wordmap_record(out.grow(kWordmapRecordSize), posting);
        }
    }
    return out.close(error);
}

bool write_dictionary(const IndexBuilder::State &s, const Variants &v,
                      const std::vector<int64_t> &offsets, IndexTotals &totals,
                      const std::string &dir, std::string *error) {
    FileOut out(dir, kDictionaryFileName);
    std::string line;
    std::vector<std::string> variants;
    auto entry = [&](const std::string &word, int64_t offset) {
        line.clear();
        if (!append_dictionary_entry(line, word, offset, variants, error)) return false;
        totals.base_pool += word.size() + 1;
        for (const std::string &variant : variants) totals.variant_pool += variant.size() + 2;
        totals.variants += (uint32_t)variants.size();
        out.put(line);
        return true;
    };
    for (const char *boundary : kBoundaryWords)
        if (!entry(boundary, -1)) return false;
    for (int spacing = 0; spacing < 4; spacing++)
        for (const std::string &text : reserved_texts())
            if (!entry(text, -1)) return false;
    for (size_t b = 0; b < s.bases.size(); b++) {
        variants.clear();
        for (uint32_t i = 0; i < v.listed[b]; i++)
            variants.emplace_back(s.surfaces[v.order[v.first[b] + i]].text);
        if (!entry(std::string(s.bases[b].text), offsets[b])) return false;
    }
    return out.close(error);
}

std::string recommended_list(IndexBuilder::State &s, uint32_t *count) {
    std::unordered_map<std::string, uint32_t> page_of;
    for (uint32_t p = 0; p < s.urls.size(); p++) page_of.emplace(s.urls[p], p);
    std::string out, error;
    *count = 0;
    for (const auto &link : s.options.recommended) {
        auto found = page_of.find(link.second);
        if (found == page_of.end()) {
            s.notice("", "recommended link " + link.second + " is no indexed page");
            continue;
        }
        if (append_recommended_line(out, link.first, found->second, &error))
            ++*count;
        else
            s.notice("", "recommended keywords \"" + link.first + "\" left out: " + error);
    }
    return out;
}

bool plain_file_name(const std::string &name) {
    return !name.empty() && name.find('/') == std::string::npos && name != "." && name != "..";
}

}  // namespace

bool IndexBuilder::write(const std::string &dir, std::string *error) {
    State &s = *state_;
    load_unicode_tables();  // the autocomplete list lower-cases
    std::string message;
    if (!s.error.empty()) message = s.error;
    const uint64_t keywords = (uint64_t)reserved_id_limit() + 1 + s.bases.size();
    if (message.empty() && keywords > UINT32_MAX) message = "more words than word ids";
    IndexTotals totals;
    totals.keywords = (uint32_t)keywords;
    totals.dict_id_len = page_text_record_size_for(keywords);
    totals.page_info_size = s.page_info.size();
    const uint32_t first_word = reserved_id_limit() + 1;
    std::vector<int64_t> offsets;
    const Variants v = make_variants(s);
    std::string spelling, recommended, autocomplete, settings;
    if (message.empty()) {
        spelling = spelling_list(s, first_word, &totals.spellings);
        recommended = recommended_list(s, &totals.recommended);
        autocomplete = autocomplete_list(s);
        totals.list_line =
            std::max({longest_line_length(spelling), longest_line_length(recommended),
                      longest_line_length(autocomplete)});
    }
    bool done = message.empty() &&
                write_page_text(s, v, first_word, totals.dict_id_len, dir, &message) &&
                write_wordmap(s, totals.dict_id_len, offsets, dir, &message) &&
                write_dictionary(s, v, offsets, totals, dir, &message) &&
                write_whole(dir, kPageInfoFileName, s.page_info, &message) &&
                write_whole(dir, kPageDataFileName, s.page_data, &message) &&
                write_whole(dir, kSpellingFileName, spelling, &message) &&
                write_whole(dir, kRecommendedFileName, recommended, &message) &&
                write_whole(dir, kAutocompleteFileName, autocomplete, &message) &&
                settings_text(s, totals, settings, &message) &&
                write_whole(dir, kSettingsFileName, settings, &message);
    bool has_template = false;
    for (const auto &file : s.options.template_files) {
        if (!done) break;
        has_template = has_template || file.first == kTemplateFileName;
        if (!plain_file_name(file.first)) {
            message = "template file name \"" + file.first + "\" is not a plain file name";
            done = false;
        } else {
            done = write_whole(dir, file.first.c_str(), file.second, &message);
        }
    }
    if (done && !has_template)
        s.notice("",
                 std::string("no ") + kTemplateFileName +
                     " among the template files: the search has no page to show its results in");
    if (!done && error != nullptr) *error = message;
    return done;
}

}  // namespace indexer
