// Test support: the index directory writer.
#include "support/index_files.h"

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <stdexcept>

#include "index/index_writer.h"
#include "support/dictionary_file.h"
#include "text/text.h"

namespace testsupport {

namespace {

constexpr uint8_t kBodyScore = 10;   // score of one body occurrence
constexpr uint8_t kTitleScore = 30;  // score of one title occurrence
constexpr uint8_t kBodyZone = 1;     // zone bit of the body
constexpr uint8_t kTitleZone = 2;    // zone bit of the title
const char *const kBoundaryWords[] = {"[[page]]", "[[section]]"};

// Reserved tokens by class; the ids follow each other in this order from 2.
const std::vector<std::string> kSpaced = {"&"};
const std::vector<std::string> kSuffixes = {".", ",", ";", ":", "!", "?", ")"};
const std::vector<std::string> kPrefixes = {"("};
const std::vector<std::string> kNoSpaces = {"'", "-", "/"};

struct Occurrence {
    uint32_t page;
    uint64_t text_offset;
    uint8_t score;
    uint8_t zone;
};

struct Word {
    std::string base;
    std::vector<std::string> variants;
    std::vector<Occurrence> hits;
    bool reserved = false;
};

void set_le(std::string &bytes, uint64_t at, uint64_t value, int width) {
    if (at + (uint64_t)width > bytes.size()) throw std::runtime_error("patch beyond the file");
    for (int i = 0; i < width; i++) bytes[at + (uint64_t)i] = (char)(uint8_t)(value >> (8 * i));
}

std::string lower_ascii(std::string text) {
    for (char &ch : text)
        if (ch >= 'A' && ch <= 'Z') ch = (char)(ch - 'A' + 'a');
    return text;
}

bool is_word_byte(unsigned char ch) {
    return (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') ||
           ch >= 0x80;
}

// Builds the word table and the page text; fills text_offsets.
class TextBuilder {
   public:
    TextBuilder(const IndexSpec &spec, IndexFiles &out) : spec_(spec), out_(out) {
        for (const char *boundary : kBoundaryWords) add_reserved(boundary);
        for (const std::string &token : reserved_tokens()) add_reserved(token);
    }

    void add_page(uint32_t page, const PageSpec &p) {
        out_.text_offsets.push_back(text_.size());
        put_record(kPageStartId, 0);
        for (const std::string &token : split_words(p.title)) add_token(page, token, true);
        put_record(kSectionEndId, 0);
        for (const std::string &token : p.words) add_token(page, token, false);
    }

    void finish() { put_record(kPageStartId, 0); }
    std::vector<Word> &words() { return words_; }
    const std::string &text() const { return text_; }

   private:
    void add_reserved(const std::string &token) {
        ids_[token] = (uint32_t)words_.size();
        Word word;
        word.base = token;
        word.reserved = true;
        words_.push_back(word);
    }

    void put_record(uint32_t id, uint8_t variant) {
        const int size = spec_.dict_id_len;
        if (!page_text_id_fits(size, id))
            throw std::runtime_error("word id does not fit DictIDLen");
        text_.resize(text_.size() + (size_t)size);
        encode_page_text_record((uint8_t *)&text_[text_.size() - (size_t)size], size, id, variant);
    }

    void add_token(uint32_t page, const std::string &token, bool title) {
        if (token.empty()) return;
        const std::string base = spec_.base_word ? spec_.base_word(token) : lower_ascii(token);
        auto found = ids_.find(base);
        uint32_t id;
        if (found != ids_.end()) {
            id = found->second;
        } else {
            id = (uint32_t)words_.size();
            ids_[base] = id;
            Word word;
            word.base = base;
            words_.push_back(word);
        }
        Word &word = words_[id];
        uint8_t variant = 0;
        if (token != base && !word.reserved) {
            auto at = std::find(word.variants.begin(), word.variants.end(), token);
            if (at == word.variants.end()) {
                if (word.variants.size() == (size_t)kMaxVariantNumber)
                    throw std::runtime_error("too many variants");
                word.variants.push_back(token);
                at = word.variants.end() - 1;
            }
            variant = (uint8_t)(at - word.variants.begin() + 1);
        }
        if (!word.reserved && spec_.common_words.count(base) == 0) {
            Occurrence hit{page, (uint64_t)text_.size(), title ? kTitleScore : kBodyScore,
                           title ? kTitleZone : kBodyZone};
            const auto &postings = spec_.pages[page].postings;
            auto forced = postings.find(base);
            if (forced != postings.end()) {
                hit.score = forced->second.score;
                hit.zone = forced->second.zones;
            }
            word.hits.push_back(hit);
        }
        auto forced = spec_.corrupt.pagetext_ids.find(base);
        put_record(forced != spec_.corrupt.pagetext_ids.end() ? forced->second : id, variant);
    }

    const IndexSpec &spec_;
    IndexFiles &out_;
    std::vector<Word> words_;
    std::map<std::string, uint32_t> ids_;
    std::string text_;
};

// The word map; fills block_offsets and returns each word's offset (-1: none).
// The words in `reversed` list their postings last first.
std::string build_wordmap(std::vector<Word> &words, const std::set<std::string> &reversed,
                          IndexFiles &out, std::vector<int64_t> &offsets) {
    std::string map;
    for (const Word &word : words) {
        if (word.hits.empty()) {
            offsets.push_back(-1);
            continue;
        }
        offsets.push_back((int64_t)map.size());
        out.block_offsets[word.base] = (int64_t)map.size();
        std::vector<WordmapPostingOut> postings;
        for (const Occurrence &hit : word.hits)
            postings.push_back({hit.score, hit.zone, hit.page, hit.text_offset});
        if (reversed.count(word.base)) std::reverse(postings.begin(), postings.end());
        std::string error;
        if (!append_wordmap_block(map, postings, &error)) throw std::runtime_error(error);
    }
    return map;
}

// The writer's value for a spec value. Options are written as their low
// byte, as fuzz inputs ask for: a present option whose byte is the no-value
// marker is written as no value, which is the same byte.
MetaValueOut meta_value_out(const MetaValueSpec &value) {
    MetaValueOut out;
    out.present = value.present;
    out.text = value.text;
    out.option = value.option & 0xFF;
    if (out.option == kNoMetaOption) out.present = false;
    for (int option : value.options) out.options.push_back(option & 0xFF);
    out.number = value.number;
    return out;
}

std::string build_pageinfo(const IndexSpec &spec, IndexFiles &out, int cat_bytes) {
    PageInfoLayout layout;
    layout.big = spec.big_layout;
    layout.category_bytes = cat_bytes;
    for (const MetaFieldSpec &field : spec.meta_fields) layout.meta_types.push_back(field.type);
    std::string info;
    for (size_t i = 0; i < spec.pages.size(); i++) {
        const PageSpec &page = spec.pages[i];
        PageInfoOut record;
        record.data_offset = out.line_offsets[i];
        record.file_size = page.size;
        record.date = page.date;
        record.boost = page.boost;
        record.file_type = page.file_type;
        for (int c : page.categories)
            if (c >= 0 && c / 8 < cat_bytes) record.categories.push_back(c);
        for (size_t f = 0; f < spec.meta_fields.size(); f++)
            record.meta.push_back(
                meta_value_out(f < page.meta.size() ? page.meta[f] : MetaValueSpec::none()));
        out.record_offsets.push_back(info.size());
        std::string error;
        if (!append_page_info_record(info, layout, record, &error)) throw std::runtime_error(error);
    }
    return info;
}

std::string build_pagedata(const IndexSpec &spec, IndexFiles &out) {
    const size_t n = spec.pages.size();
    out.line_offsets.assign(n, 0);
    std::string data;
    for (size_t k = 0; k < n; k++) {
        const size_t i = spec.page_data_reversed ? n - 1 - k : k;
        const PageSpec &p = spec.pages[i];
        out.line_offsets[i] = data.size();
        auto replaced = spec.corrupt.page_data_line.find((int)i);
        if (replaced != spec.corrupt.page_data_line.end())
            data += replaced->second;
        else
            append_page_data_line_unchecked(data, p.url, p.title, p.description, p.image,
                                            p.line_tail);
    }
    return data;
}

// Spelling lines: one per phonetic key of the words with postings, sorted by
// key, up to three ids each, most frequent word first.
std::string build_spelling(const std::vector<Word> &words, const IndexCorruption &bad,
                           IndexFiles &out) {
    std::map<std::string, std::vector<uint32_t>> by_key;
    for (uint32_t id = 0; id < words.size(); id++) {
        if (words[id].hits.empty()) continue;
        char *keys[2] = {nullptr, nullptr};
        double_metaphone(words[id].base.c_str(), keys);
        std::string key = keys[0] != nullptr ? keys[0] : "";
        free(keys[0]);
        free(keys[1]);
        if (key.empty()) continue;
        by_key[key.substr(0, kSpellingKeyChars)].push_back(id);
    }
    std::string text;
    for (auto &entry : by_key) {
        std::vector<uint32_t> &ids = entry.second;
        std::stable_sort(ids.begin(), ids.end(), [&words](uint32_t a, uint32_t b) {
            return words[a].hits.size() > words[b].hits.size();
        });
        std::vector<long long> line_ids;
        auto forced = bad.spelling_ids.find(entry.first);
        if (forced != bad.spelling_ids.end())
            line_ids = forced->second;
        else
            for (size_t i = 0; i < ids.size() && i < (size_t)kSpellingIdCount; i++)
                line_ids.push_back(ids[i]);
        std::vector<std::string> tokens = {entry.first};
        for (long long id : line_ids) tokens.push_back(std::to_string(id));
        out.spelling.push_back(tokens);
        append_spelling_line_unchecked(text, entry.first, line_ids);
    }
    return text;
}

}  // namespace

MetaValueSpec MetaValueSpec::none() {
    MetaValueSpec v;
    v.present = false;
    return v;
}
MetaValueSpec MetaValueSpec::of_text(const std::string &text) {
    MetaValueSpec v;
    v.text = text;
    return v;
}
MetaValueSpec MetaValueSpec::of_option(int option) {
    MetaValueSpec v;
    v.option = option;
    return v;
}
MetaValueSpec MetaValueSpec::of_options(const std::vector<int> &options) {
    MetaValueSpec v;
    v.options = options;
    return v;
}
MetaValueSpec MetaValueSpec::of_number(uint32_t number) {
    MetaValueSpec v;
    v.number = number;
    return v;
}

const std::vector<std::string> &reserved_tokens() {
    static const std::vector<std::string> tokens = [] {
        std::vector<std::string> all;
        for (const auto *group : {&kSpaced, &kSuffixes, &kPrefixes, &kNoSpaces})
            all.insert(all.end(), group->begin(), group->end());
        return all;
    }();
    return tokens;
}

std::vector<std::string> split_words(const std::string &text, const std::string &join) {
    std::vector<std::string> tokens;
    const std::vector<std::string> &reserved = reserved_tokens();
    std::string word;
    for (size_t i = 0; i < text.size(); i++) {
        const unsigned char ch = (unsigned char)text[i];
        const bool joins = join.find((char)ch) != std::string::npos && !word.empty() &&
                           i + 1 < text.size() && is_word_byte((unsigned char)text[i + 1]);
        if (is_word_byte(ch) || joins) {
            word += (char)ch;
            continue;
        }
        if (!word.empty()) tokens.push_back(word);
        word.clear();
        const std::string single(1, (char)ch);
        if (std::find(reserved.begin(), reserved.end(), single) != reserved.end())
            tokens.push_back(single);
    }
    if (!word.empty()) tokens.push_back(word);
    return tokens;
}

IndexFiles build_index(const IndexSpec &spec) {
    if (spec.dict_id_len < 2 || spec.dict_id_len > 5) throw std::runtime_error("DictIDLen 2..5");
    IndexFiles out;
    TextBuilder builder(spec, out);
    for (size_t i = 0; i < spec.pages.size(); i++) builder.add_page((uint32_t)i, spec.pages[i]);
    builder.finish();
    std::vector<Word> &words = builder.words();

    std::vector<int64_t> offsets;
    std::string wordmap = build_wordmap(words, spec.postings_reversed, out, offsets);
    std::vector<DictionaryWord> dictionary;
    long long base_pool = 0, variant_pool = 0, variant_count = 0;
    for (size_t id = 0; id < words.size(); id++) {
        const Word &w = words[id];
        out.words.push_back(w.base);
        out.word_ids[w.base] = (uint32_t)id;
        DictionaryWord entry;
        entry.word = w.base;
        entry.offset = offsets[id];
        auto forced = spec.corrupt.dictionary_offset.find(w.base);
        if (forced != spec.corrupt.dictionary_offset.end()) entry.offset = forced->second;
        entry.variants = w.variants;
        dictionary.push_back(entry);
        base_pool += (long long)w.base.size() + 1;
        for (const std::string &v : w.variants) variant_pool += (long long)v.size() + 2;
        variant_count += (long long)w.variants.size();
    }

    const int cat_bytes = spec.categories.empty() ? 0 : (int)(spec.categories.size() + 7) / 8;
    std::string pagedata = build_pagedata(spec, out);
    std::string pageinfo = build_pageinfo(spec, out, cat_bytes);
    std::string spelling = spec.spelling ? build_spelling(words, spec.corrupt, out) : "";
    std::string recommended;
    for (const RecommendedSpec &r : spec.recommended)
        append_recommended_line_unchecked(recommended, r.keywords, r.page);

    SettingsSpec settings = spec.settings;
    const uint32_t spaced = 2 + (uint32_t)kSpaced.size();
    const uint32_t suffixes = spaced + (uint32_t)kSuffixes.size() - 1;
    const uint32_t prefixes = suffixes + (uint32_t)kPrefixes.size();
    const uint32_t no_spaces = prefixes + (uint32_t)kNoSpaces.size();
    settings.set("NumKeywords", (long long)words.size())
        .set("NumVariants", variant_count)
        .set("OutputBasewordBufferSize", base_pool)
        .set("OutputVariantBufferSize", std::max(variant_pool, 1LL))
        .set("DictIDLen", spec.dict_id_len)
        .set("DictReservedLimit", no_spaces)
        .set("DictReservedSpaces", spaced)
        .set("DictReservedSuffixes", suffixes)
        .set("DictReservedPrefixes", prefixes)
        .set("DictReservedNoSpaces", no_spaces)
        .set("NumPages", (long long)spec.pages.size())
        .set("PageInfoSize", (long long)pageinfo.size())
        .set("UseBigPageInfoData", spec.big_layout ? 1 : 0)
        .set("UseCats", spec.categories.empty() ? 0 : 1)
        .set("NumCats", (long long)spec.categories.size())
        .set("NumCatBytes", cat_bytes)
        .set("UseMetaFields", spec.meta_fields.empty() ? 0 : 1)
        .set("NumMetaFields", (long long)spec.meta_fields.size())
        .set("Spelling", spec.spelling ? 1 : 0)
        .set("NumSpellings", (long long)out.spelling.size())
        .set("Recommended", spec.recommended.empty() ? 0 : 1)
        .set("NumRecommended", (long long)spec.recommended.size());
    const size_t line =
        std::max(longest_line_length(spelling), longest_line_length(recommended)) + 1;
    settings.set("MaxKeyWordLineLen", (long long)std::max<size_t>(line, kDefaultListLineSize));
    settings.categories = spec.categories;
    settings.meta_fields = spec.meta_fields;

    // Damage.
    const IndexCorruption &bad = spec.corrupt;
    for (const auto &key : bad.settings) settings.set(key.first, key.second);
    for (const auto &length : bad.record_length)
        set_le(pageinfo, out.record_offsets.at((size_t)length.first), length.second,
               spec.big_layout ? kPageInfoBigLengthSize : kPageInfoSmallLengthSize);
    for (const auto &offset : bad.data_offset)
        set_le(pageinfo,
               out.record_offsets.at((size_t)offset.first) +
                   (spec.big_layout ? kBigDataOffsetAt : kSmallDataOffsetAt),
               offset.second, kPageDataOffsetSize);
    if (bad.pageinfo_size_delta < 0)
        pageinfo.resize(pageinfo.size() -
                        std::min<size_t>(pageinfo.size(), (size_t)-bad.pageinfo_size_delta));
    else
        pageinfo.append((size_t)bad.pageinfo_size_delta, '\0');
    for (const auto &count : bad.wordmap_count)
        set_le(wordmap, (uint64_t)out.block_offsets.at(count.first), count.second,
               kWordmapCountSize);
    for (const auto &page : bad.posting_page)
        set_le(wordmap,
               (uint64_t)out.block_offsets.at(page.first) + kWordmapCountSize + kWordmapPageAt,
               page.second, kWordmapPageSize);
    if (bad.wordmap_size_delta < 0)
        wordmap.resize(wordmap.size() -
                       std::min<size_t>(wordmap.size(), (size_t)-bad.wordmap_size_delta));

    out.settings = settings;
    out.files["settings.vdat"] = settings_text(settings);
    out.files["vesk_dictionary.vdat"] = dictionary_text(dictionary);
    out.files["vesk_wordmap.vdat"] = wordmap;
    std::string pagetext = builder.text();
    if (bad.pagetext_size_delta < 0)
        pagetext.resize(pagetext.size() -
                        std::min<size_t>(pagetext.size(), (size_t)-bad.pagetext_size_delta));
    out.files["vesk_pagetext.vdat"] = bad.pagetext_prefix + pagetext;
    out.files["vesk_pageinfo.vdat"] = pageinfo;
    out.files["vesk_pagedata.vdat"] = pagedata;
    if (spec.spelling) out.files["vesk_spelling.vdat"] = spelling;
    if (!spec.recommended.empty()) out.files["vesk_recommended.vdat"] = recommended;
    if (!spec.autocomplete.empty()) {
        std::string &list = out.files["vesk_autocomplete.vdat"];
        for (const std::string &line : spec.autocomplete)
            append_autocomplete_line_unchecked(list, line);
    }
    if (!spec.template_text.empty()) out.files["search_template.html"] = spec.template_text;
    for (const auto &file : bad.replaced_files) out.files[file.first] = file.second;
    for (const std::string &name : bad.missing_files) out.files.erase(name);
    return out;
}

void write_index_files(const std::string &dir, const IndexFiles &files) {
    for (const auto &file : files.files) write_file(dir, file.first, file.second);
}

IndexFiles write_index(const std::string &dir, const IndexSpec &spec) {
    IndexFiles files = build_index(spec);
    write_index_files(dir, files);
    return files;
}

SettingsSpec write_empty_index(const std::string &dir, const SettingsSpec &settings) {
    IndexSpec spec;
    spec.settings = settings;
    IndexFiles files = build_index(spec);
    files.files.erase("settings.vdat");
    write_index_files(dir, files);
    return files.settings;
}

}  // namespace testsupport
