// The index builder's serial step: each analysed page, in page order, gets
// its page-data line and page-info record, its spellings and base words are
// interned to ids (first seen, first numbered: the same ids whatever thread
// analysed which page), its page text is appended as ids, and its postings
// as compact records. write_index.cpp turns the whole into files.
#include <string.h>

#include <unordered_set>

#include "context/utf8.h"
#include "index/index_writer.h"
#include "indexer/builder_state.h"
#include "text/text.h"

namespace indexer {

namespace {

constexpr size_t kPoolChunk = 1 << 20;  // bytes of one chunk of interned texts

// A page-data field: control characters (line ends, NUL) and '|' (the
// field separator) replaced, cut
// to limit bytes on a character boundary with a notice.
std::string data_field(IndexBuilder::State &state, const ExtractedPage &page,
                       const std::string &text, size_t limit, const char *what, bool url) {
    std::string clean;
    clean.reserve(text.size());
    for (char ch : text) {
        if (ch == '|')
            clean += url ? "%7C" : " ";
        else
            clean += (unsigned char)ch < ' ' || ch == 0x7F ? ' ' : ch;  // NUL ends a read line
    }
    const size_t keep = utf8_prefix(clean, limit);
    if (keep < clean.size()) {
        state.notice(page.path, std::string(what) + " cut to " + std::to_string(keep) + " bytes");
        clean.resize(keep);
    }
    return clean;
}

// Page-data line and page-info record of the page. false (nothing added,
// notice given) when the record cannot be written.
bool add_page_files(IndexBuilder::State &s, const ExtractedPage &page) {
    const std::string url = data_field(s, page, page.url, kPageDataUrlMax, "URL", true);
    const std::string title = data_field(s, page, page.title, kPageDataTitleMax, "title", false);
    const std::string description =
        data_field(s, page, page.description, kPageDataDescriptionMax, "description", false);
    PageInfoOut info;
    info.data_offset = s.page_data.size();
    info.file_size = page.size;
    info.date = page.date;
    info.boost = page.boost;
    info.file_type = page.file_type;
    for (int c : page.categories) {
        if (c >= 0 && (size_t)c < s.options.categories.size())
            info.categories.push_back(c);
        else
            s.notice(page.path, "category number " + std::to_string(c) + " left out");
    }
    info.meta = meta_values(s, page);
    std::string error;
    if (!append_page_info_record(s.page_info, s.info_layout, info, &error) ||
        !append_page_data_line(s.page_data, url, title, description, "", "", &error)) {
        s.notice(page.path, "page left out: " + error);
        return false;
    }
    s.urls.push_back(url);
    return true;
}

}  // namespace

std::string lower_text(std::string_view text) {
    std::string out(text);
    const int capacity = utf8_lower_capacity((int)out.size());
    out.resize((size_t)capacity);
    out.resize((size_t)utf8_to_lower(&out[0], capacity));
    return out;
}

size_t utf8_prefix(const std::string &text, size_t limit) {
    if (text.size() <= limit) return text.size();
    return utf8_cut_length(text.data(), limit);
}

uint64_t text_hash(const char *text, size_t size) {
    uint64_t hash = 0xcbf29ce484222325ull;  // FNV-1a, then a final mix
    for (size_t i = 0; i < size; i++) hash = (hash ^ (unsigned char)text[i]) * 0x100000001b3ull;
    hash ^= hash >> 29;
    hash *= 0xbf58476d1ce4e5b9ull;
    return hash ^ (hash >> 32);
}

void InternTable::insert(uint64_t hash, uint32_t id) {
    if (2 * (used_ + 1) > slots_.size()) {
        std::vector<Slot> old(slots_.size() < 1024 ? 2048 : 2 * slots_.size(), Slot{0, kNone});
        old.swap(slots_);
        used_ = 0;
        for (const Slot &slot : old)
            if (slot.id != kNone) insert(slot.hash, slot.id);
    }
    size_t at = hash & (slots_.size() - 1);
    while (slots_[at].id != kNone) at = (at + 1) & (slots_.size() - 1);
    slots_[at] = Slot{hash, id};
    used_++;
}

std::string_view TextPool::keep(std::string_view text) {
    if (chunks_.empty() || chunks_.back().capacity() - chunks_.back().size() < text.size()) {
        chunks_.emplace_back();
        chunks_.back().reserve(text.size() > kPoolChunk ? text.size() : kPoolChunk);
    }
    std::string &chunk = chunks_.back();
    const size_t at = chunk.size();
    chunk.append(text.data(), text.size());  // within the reserved block: no move
    return std::string_view(chunk.data() + at, text.size());
}

void IndexBuilder::State::notice(const std::string &path, const std::string &message) {
    notices.push_back({path, message});
}

IndexBuilder::IndexBuilder(const BuildOptions &options) : state_(new State) {
    state_->options = options;
    if (options.base_url.empty())
        state_->error = "a base URL is needed";
    else
        prepare_settings(*state_);
}

IndexBuilder::~IndexBuilder() = default;

bool IndexBuilder::ok() const {
    return state_->error.empty();
}

const std::string &IndexBuilder::error() const {
    return state_->error;
}

PageAnalysis IndexBuilder::analyze(const ExtractedPage &page) const {
    return analyze_page(state_->rules, page);
}

void IndexBuilder::add(const ExtractedPage &page, PageAnalysis &&a) {
    State &s = *state_;
    if (!a.valid) a = analyze(page);
    load_unicode_tables();  // phrases are lower-cased
    if (s.pages.size() >= kMaxPages) {
        s.notice(page.path, "page left out: an index holds at most 16777216 pages");
        return;
    }
    if (!add_page_files(s, page)) return;
    const uint32_t p = (uint32_t)s.pages.size();
    std::vector<uint32_t> base_ids(a.bases.size()), surface_ids(a.surfaces.size());
    for (size_t i = 0; i < a.surfaces.size(); i++) {
        const std::string_view text(a.arena.data() + a.surfaces[i].at, a.surfaces[i].size);
        uint32_t id = s.surface_ids.find(
            a.surface_hash[i], [&](uint32_t known) { return s.surfaces[known].text == text; });
        if (id == InternTable::kNone) {
            const uint32_t b = a.surface_base[i];
            const std::string_view base(a.arena.data() + a.bases[b].at, a.bases[b].size);
            uint32_t base_id = s.base_ids.find(
                a.base_hash[b], [&](uint32_t known) { return s.bases[known].text == base; });
            if (base_id == InternTable::kNone) {
                base_id = (uint32_t)s.bases.size();
                s.bases.push_back({s.pool.keep(base), 0});
                s.base_ids.insert(a.base_hash[b], base_id);
            }
            id = (uint32_t)s.surfaces.size();
            s.surfaces.push_back({s.pool.keep(text), base_id, 0});
            s.surface_ids.insert(a.surface_hash[i], id);
        }
        s.surfaces[id].pages++;
        surface_ids[i] = id;
        base_ids[a.surface_base[i]] = s.surfaces[id].base;
    }
    for (uint32_t id : base_ids) s.bases[id].pages++;
    PageEntry entry;
    entry.text_start = s.page_text.size();
    memcpy(entry.section_words, a.section_words, sizeof entry.section_words);
    s.pages.push_back(entry);
    for (uint32_t record : a.records)
        s.page_text.push_back((record & kReservedFlag) != 0 ? record : surface_ids[record]);
    for (size_t b = 0; b < a.stats.size(); b++)
        for (int section = 0; section < kSectionCount; section++)
            if (a.stats[b].weight[section] > 0)
                s.postings.push_back({base_ids[b], p, a.stats[b].first[section],
                                      a.stats[b].weight[section], a.stats[b].zones,
                                      (uint8_t)section});
    std::unordered_set<std::string> phrases;
    for (const auto &pair : a.phrases)
        phrases.insert(lower_text(s.surfaces[surface_ids[pair.first]].text) + " " +
                       lower_text(s.surfaces[surface_ids[pair.second]].text));
    for (const std::string &phrase : phrases) s.phrases[phrase]++;
}

const std::vector<Notice> &IndexBuilder::notices() const {
    return state_->notices;
}

uint32_t IndexBuilder::page_count() const {
    return (uint32_t)state_->pages.size();
}

uint32_t IndexBuilder::word_count() const {
    return (uint32_t)state_->bases.size();
}

}  // namespace indexer
