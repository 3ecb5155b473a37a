// Test support: the fixture indexes of the whole-search fuzz target and the
// decoding of its inputs.
#include "support/search_fuzz_input.h"

#include <string.h>

namespace testsupport {

const char kSearchFuzzLogName[] = "search.log";

namespace {

const char kTemplateEnd[] = "</body>\n</html>\n";
const char kHeaderStart[] = "Content-type: ";
const char kXmlHeader[] = "Content-type: text/xml";
const char kHeaderEnd[] = "\n\n";
const char kLogLineEnd[] = "\r\n";

constexpr int kSmallPageCount = 24;
constexpr int kBigPageCount = 32;
constexpr int kSentencesPerPage = 4;
constexpr uint32_t kFirstDate = 946684800;  // 2000-01-01
constexpr uint32_t kDateStep = 86400 * 97;  // pages about three months apart
constexpr int kNoOption = 255;              // a page without a single-choice value
constexpr int kMetaNoneEvery = 5;           // every fifth page lacks its meta values

// Body text of the small fixture (ISO-8859-1): phrases that recur across
// pages, capitalised variants, joined words, numbers and punctuation tokens.
const char *const kSmallSentences[] = {
    "The fresh apple juice is pressed in autumn.",
    "Red apples and green apples grow on the same tree.",
    "Cider from the orchard (2024 harvest) & honey.",
    "Pruning the apple tree in winter keeps it healthy.",
    "Bees visit the blossom in spring, then the hive fills with honey.",
    "Wax from the hive makes candles; the caf\xE9 sells them.",
    ("A na\xEF"
     "ve r\xE9sum\xE9 of orchard work: e-mail at 9 o'clock."),
    "Banana and cherry trees need summer heat!",
    "APPLE Apple apple: three spellings of one word?",
    ("Stra\xDF"
     "e markets sell fresh cherry cider/juice."),
    "Orchard ladders, baskets and crates for the harvest.",
    "Fresh apple juice with honey is sold in the caf\xE9.",
};

// Body text of the big fixture (UTF-8): word forms the stemmer joins,
// accented and non-Latin words, and words without spaces between them.
const char *const kBigSentences[] = {
    "Running runners run through the running club.",
    "The caf\xC3\xA9 serves na\xC3\xAFve coffee to tired joggers.",
    ("Stra\xC3\x9F"
     "e und \xC3\x9C"
     "bersicht: gro\xC3\x9F"
     "e W\xC3\xB6rter im Text."),
    "\xCE\xA3\xCE\x8A\xCE\xA3\xCE\xA5\xCE\xA6\xCE\x9F\xCE\xA3 and \xCE\xA9mega are Greek.",
    "\xE6\x9D\xB1\xE4\xBA\xAC and \xE5\xA4\xA7\xE9\x98\xAA are cities.",
    "Jumping, jumped, jumps: the stemmer joins them.",
    "Connection connected connecting connections.",
    "A r\xC3\xA9sum\xC3\xA9 (curriculum vitae) lists e-mail & phone.",
    "Kiwi fruit and kiwi birds share a name.",
    "Price lists: 3.50 dollars, 12 euros, 1,000 yen.",
    "Running shoes for the marathon are connected to fresh kiwi fruit.",
    "The Marathon runner jumped over the caf\xC3\xA9 table.",
};

const char *const kHosts[] = {"http://www.fruit.example/", "http://shop.fruit.example/",
                              "https://blog.example/", "http://fruit.example:8080/docs/"};
const char *const kAuthors[] = {"Ann Smith", "Bob Jones", "Chlo\xC3\xA9 Martin", "D. O'Neill",
                                "Eve"};

// A small deterministic generator, so that both fixtures are the same on every run.
struct Sequence {
    uint32_t state;
    uint32_t next(uint32_t bound) {
        state = state * 1103515245u + 12345u;
        return (state >> 16) % bound;
    }
};

std::vector<MetaFieldSpec> meta_fields(bool big) {
    // One field of every type: numeric, text, single choice, multi-choice, money.
    return {
        MetaFieldSpec{0, "year", "Year", "Year from", big ? 1 : 4, {}, -1},
        MetaFieldSpec{1, "author", "Author", "Written by", big ? 0 : 5, {}, -1},
        MetaFieldSpec{2, "colour", "Colour", "Colour", 0, {"red", "green", "blue"}, -1},
        MetaFieldSpec{3, "size", "Size", "Sizes", 0, {"S", "M", "L", "XL"}, -1},
        MetaFieldSpec{4, "price", "Price", "Price at most", big ? 3 : 2, {}, -1},
    };
}

std::vector<MetaValueSpec> meta_values(int page, bool big) {
    if (page % kMetaNoneEvery == kMetaNoneEvery - 1) return {};  // every value "none"
    const size_t authors = sizeof kAuthors / sizeof kAuthors[0];
    std::string author = kAuthors[(size_t)page % authors];
    if (!big && author.find('\xC3') != std::string::npos) author = "Chlo\xE9 Martin";
    std::vector<int> sizes;
    for (int s = 0; s < 4; s++)
        if ((page >> s) & 1) sizes.push_back(s);
    if (page % 7 == 3) sizes.push_back(9);  // an option byte past the list
    return {
        MetaValueSpec::of_number(1990 + (uint32_t)page),
        MetaValueSpec::of_text(page % 6 == 2 ? "" : author),
        page % 4 == 3 ? MetaValueSpec::of_option(kNoOption) : MetaValueSpec::of_option(page % 3),
        MetaValueSpec::of_options(sizes), MetaValueSpec::of_number((uint32_t)page * 1375u)};
}

PageSpec make_page(int page, bool big, Sequence &random) {
    const char *const *sentences = big ? kBigSentences : kSmallSentences;
    const uint32_t sentence_count = big ? sizeof kBigSentences / sizeof kBigSentences[0]
                                        : sizeof kSmallSentences / sizeof kSmallSentences[0];
    PageSpec p;
    const size_t hosts = sizeof kHosts / sizeof kHosts[0];
    const std::string host = kHosts[(size_t)page % hosts];
    if (page % 9 == 4)
        p.url = host + "files/report" + std::to_string(page) + ".PDF";
    else if (page % 6 == 1)
        p.url = host + "view.php?id=" + std::to_string(page) + "&lang=en";
    else
        p.url = host + "page" + std::to_string(page) + ".html";
    std::string body;
    for (int s = 0; s < kSentencesPerPage; s++)
        body += std::string(s ? " " : "") + sentences[random.next(sentence_count)];
    p.title = std::string(sentences[(uint32_t)page % sentence_count]).substr(0, 40);
    p.description = page % 8 == 5 ? "ab" : body.substr(0, 60);
    p.image = page % 3 == 0 ? host + "img/" + std::to_string(page) + ".png" : "";
    p.date = page % 10 == 7 ? 0 : kFirstDate + (uint32_t)page * kDateStep;
    p.size = page % 5 == 2 ? 500 : 2048u * (uint32_t)(page + 1);
    p.boost = page % 11 == 6 ? 25 : 0;
    p.file_type = page % 9 == 4 ? 5 : 0;
    p.words = split_words(body);
    return p;
}

IndexSpec base_fixture(bool big) {
    IndexSpec spec;
    spec.big_layout = big;
    spec.dict_id_len = big ? 4 : 3;
    spec.spelling = true;
    spec.meta_fields = meta_fields(big);
    spec.common_words = {"the", "and", "of", "a", "in"};
    spec.categories =
        big ? std::vector<std::string>{"Running", "Caf\xC3\xA9s", "Words & names"}
            : std::vector<std::string>{"Apples",  "Cider", "Honey",  "Trees",   "Orchard \"work\"",
                                       "Caf\xE9", "Bees",  "Winter", "Markets", "Juice & more"};
    Sequence random{big ? 7u : 3u};
    const int pages = big ? kBigPageCount : kSmallPageCount;
    for (int i = 0; i < pages; i++) {
        PageSpec page = make_page(i, big, random);
        page.meta = meta_values(i, big);
        for (size_t c = 0; c < spec.categories.size(); c++)
            if ((i + (int)c) % 3 == 0) page.categories.push_back((int)c);
        spec.pages.push_back(page);
    }
    return spec;
}

void set_common_settings(SettingsSpec &s, bool big) {
    s.set("UseUTF8", big ? 1 : 0)
        .set_text("Charset", big ? "utf-8" : "iso-8859-1")
        .set("UseStemming", big ? 1 : 0)
        .set("StemmingAlgo", 2)
        .set("MinWordLen", 1)
        .set("Highlighting", 1)
        .set("FormFormat", 2)
        .set("DisplayMetaDesc", 1)
        .set("DisplayMetaFields", 1)
        .set("UseDateTime", 1)
        .set("DisplayDate", 1)
        .set("DisplayContext", 1)
        .set("DisplayNumber", 1)
        .set("DisplayTitle", 1)
        .set("DisplayTerms", 1)
        .set("DisplayScore", 1)
        .set("DisplayURL", 1)
        .set("DisplayFilesize", 1)
        .set("DisplayCatSummary", 1)
        .set("UseAutoComplete", 1)
        .set_text("Version", "9.1")
        .set_text("LogFileName", kSearchFuzzLogName)
        .set("VeskInfo", 1)
        .set("ToLowerSearchWords", 1)
        .set("ContextSize", 30)
        .set("MaxContextKeywords", 3)
        .set("MaxResultsPerQuery", 1000)
        .set("AllowExactPhrase", 1)
        .set("MaxContextSeeks", 500)
        .set("MaxSearchTime", 30)
        .set_text("LinkTarget", "_blank")
        .set_text("WordJoinChars", "-'")
        .set("SpellingWhenLessThan", 2)
        .set("RecommendedMax", 2)
        .set("MaxDomainDiversity", 3)
        .set("FileTypePluginStart", 4)
        .set("PluginOpenNewWindow", 1)
        .set_text("XMLTitle", "Fixture search")
        .set_text("XMLDesc", "Results of the fixture index")
        .set_text("XMLURL", "http://www.fruit.example/");
}

// The template of the small fixture shows the whole search at one marker; the
// big one has every section marker of its own.
std::string fixture_template(bool big) {
    std::string text =
        "<!DOCTYPE html>\n<html>\n<head>\n<title>Search <!--VESK_SHOW_QUERY--></title>\n"
        "</head>\n<body>\n";
    if (!big) {
        text += "<!--VESKSEARCH-->\n";
    } else {
        for (const char *marker :
             {"JAVASCRIPTS",  "FORMSTART",  "SEARCHBOX",         "SEARCHBUTTON", "RESULTSPERPAGE",
              "MATCHOPTIONS", "CATEGORIES", "CUSTOMMETAOPTIONS", "DATERANGE",    "FORMEND",
              "HEADING",      "SUMMARY",    "CATSUMMARY",        "SUGGESTION",   "PAGESCOUNT",
              "RECOMMENDED",  "SORTING",    "RESULTS",           "PAGENUMBERS",  "SEARCHTIME"})
            text += std::string("<!--VESK_SHOW_") + marker + "-->\n";
    }
    return text + kTemplateEnd;
}

// One variation of the settings: `bits` bits of the input pick one of the
// values (null: the fixture's own value). Pseudo-keys stand for settings that
// are more than one key line.
struct Variation {
    const char *key;
    int bits;
    const char *values[4];
};

constexpr char kAccentListsKey[] = "(accent lists)";
constexpr char kBroadNumericKey[] = "(broad numeric)";

constexpr Variation kVariations[] = {
    {"UseXML", 1, {nullptr, "1"}},
    {"DisplayContext", 1, {nullptr, "0"}},
    {"Highlighting", 1, {nullptr, "0"}},
    {"XMLHighlight", 1, {nullptr, "1"}},
    {"SearchAsSubstring", 1, {nullptr, "1"}},
    {"AllowExactPhrase", 1, {nullptr, "0"}},
    {"ToLowerSearchWords", 1, {nullptr, "0"}},
    {"UseDomainDiversity", 1, {nullptr, "1"}},
    {"Spelling", 1, {nullptr, "0"}},
    {"Recommended", 1, {nullptr, "0"}},
    {"Logging", 1, {nullptr, "1"}},
    {"Timing", 1, {nullptr, "1"}},
    {"DisplayMetaFields", 1, {nullptr, "0"}},
    {"DisplayMetaDesc", 1, {nullptr, "0"}},
    {"GotoHighlight", 1, {nullptr, "1"}},
    {"PdfHighlight", 1, {nullptr, "1"}},
    {"FormFormat", 2, {nullptr, "0", "1", "3"}},
    {"SearchMultiCats", 1, {nullptr, "1"}},
    {"DefaultSort", 2, {nullptr, "1", "2", "3"}},
    {"DateRangeSearch", 1, {nullptr, "1"}},
    {"DateRangeFormat", 1, {nullptr, "1"}},
    {"MinWordLen", 2, {nullptr, "0", "3", "5"}},
    {"MaxResultsPerQuery", 2, {nullptr, "1", "3", "7"}},
    {"MaxMatches", 2, {nullptr, "0", "1", "4"}},
    {"MaxContextSeeks", 2, {nullptr, "0", "1", "3"}},
    {"SpellingWhenLessThan", 2, {nullptr, "0", "1000", "-1"}},
    {"RecommendedMax", 2, {nullptr, "0", "1", "100"}},
    {"ContextSize", 2, {nullptr, "0", "5", "300"}},
    {"MaxContextKeywords", 2, {nullptr, "0", "1", "20"}},
    {"DefaultToAnd", 1, {nullptr, "1"}},
    {"WeightProximity", 1, {nullptr, "5"}},
    {kAccentListsKey, 1, {nullptr, "1"}},
    {"WordJoinChars", 2, {nullptr, "\"\"", "\".-#+_'$\"", "\"&/@%:,<>\""}},
    {"UseLinkTarget", 1, {nullptr, "1"}},
    {"MaxDomainDiversity", 2, {nullptr, "0", "1", "10"}},
    {"UseAutoComplete", 1, {nullptr, "0"}},
    {"VeskInfo", 1, {nullptr, "0"}},
    {"NoCharset", 1, {nullptr, "1"}},
    {"Codepage", 2, {nullptr, "932", "950", "20936"}},
    {"StemmingAlgo", 2, {nullptr, "12", "15", "16"}},
    {"UseStemming", 2, {nullptr, "1", "0", nullptr}},
    {"MaxSearchTime", 2, {nullptr, "0", "1", nullptr}},
    {"LinkBackURL", 1, {nullptr, "\"http://search.example/find?site=fruit\""}},
    {"XMLXSLTURL", 1, {nullptr, "\"http://search.example/feed.xsl\""}},
    {"XMLOpenSearchDescURL", 1, {nullptr, "\"http://search.example/os.xml\""}},
    {"DisplayCatSummary", 1, {nullptr, "0"}},
    {"UseVeskImage", 1, {nullptr, "1"}},
    {"TruncateShowURL", 2, {nullptr, "1", "5", "30"}},
    {"DisplayTerms", 1, {nullptr, "0"}},
    {"DisplayScore", 1, {nullptr, "0"}},
    {"DisplayDate", 1, {nullptr, "0"}},
    {"UseDateTime", 1, {nullptr, "0"}},
    {"MetaMoneyShowDec", 1, {nullptr, "1"}},
    {"PluginOpenNewWindow", 1, {nullptr, "0"}},
    {"FileTypePluginStart", 2, {nullptr, "0", "5", "100"}},
    {kBroadNumericKey, 1, {nullptr, "1"}},
    {"LogFileName", 1, {nullptr, "\"missing/search.log\""}},
    {"MaxKeyWordLineLen", 2, {nullptr, "1", "8", "4096"}},
    {"DisplayTitle", 1, {nullptr, "0"}},
    {"DisplayURL", 1, {nullptr, "0"}},
    {"DisplayNumber", 1, {nullptr, "0"}},
};

// Reads the variations' bits from bytes (kSearchSettingsBytes of them).
class BitReader {
   public:
    explicit BitReader(const uint8_t *bytes) : bytes_(bytes) {}
    unsigned take(int bits) {
        unsigned value = 0;
        for (int i = 0; i < bits; i++, at_++)
            if (at_ < kSearchSettingsBytes * 8 && ((bytes_[at_ / 8] >> (at_ % 8)) & 1))
                value |= 1u << i;
        return value;
    }

   private:
    const uint8_t *bytes_;
    size_t at_ = 0;
};

void apply_variation(SettingsSpec &s, const char *key, const char *value, bool utf8) {
    if (strcmp(key, kAccentListsKey) == 0) {
        s.remove("MapAccents");
        s.accent_chars =
            utf8 ? std::vector<std::string>{"\xC3\xA9", "\xC3\xAF", "\xC3\x9F", "\xC3\xB6"}
                 : std::vector<std::string>{"\xE9", "\xEF", "\xDF", "\xF6"};
        s.normal_chars = {"e", "i", "ss", "oe"};
    } else if (strcmp(key, kBroadNumericKey) == 0) {
        s.set_text("BroadNumericValidChars", "0123456789.,");
        s.set_text("BroadNumericStripChars", ".,");
    } else {
        s.remove(key);
        s.keys.emplace_back(key, value);
    }
}

}  // namespace

constexpr int variation_bits() {
    int bits = 0;
    for (const Variation &v : kVariations) bits += v.bits;
    return bits;
}
static_assert(variation_bits() <= (int)kSearchSettingsBytes * 8,
              "the settings bytes hold every variation");

IndexSpec search_fixture(int fixture) {
    const bool big = fixture == kBigFixture;
    IndexSpec spec = base_fixture(big);
    set_common_settings(spec.settings, big);
    spec.template_text = fixture_template(big);
    if (big) {
        spec.recommended = {{"running", 0}, {"kiwi,caf\xC3\xA9", 5}, {"conn*", kBigPageCount - 1},
                            {"jump?d", 3},  {"marathon", 999},       {"fruit", -1}};
        spec.autocomplete = {"running", "running shoes", "caf\xC3\xA9",
                             "kiwi",    "kiwi fruit",    "\xCE\xA9mega"};
    } else {
        spec.recommended = {{"apple", 0}, {"cherry,banana", 5}, {"hon*", kSmallPageCount - 1},
                            {"cid?r", 7}, {"orchard", 999},     {"juice", -1}};
        spec.autocomplete = {"apple", "apple juice", "caf\xE9", "cherry", "cider", "honey"};
    }
    return spec;
}

std::string search_answer_fault(const std::string &answer, bool page, const XmlChecker &xml) {
    if (answer.compare(0, strlen(kHeaderStart), kHeaderStart) != 0) return "no header";
    const size_t body = answer.find(kHeaderEnd);
    if (body == std::string::npos) return "a header without its blank line";
    if (answer.compare(0, strlen(kXmlHeader), kXmlHeader) == 0) {
        const std::string errors = xml(answer.substr(body + strlen(kHeaderEnd)));
        return errors.empty() ? "" : "malformed XML answer: " + errors;
    }
    const size_t end = strlen(kTemplateEnd);
    if (page &&
        (answer.size() < end || answer.compare(answer.size() - end, end, kTemplateEnd) != 0))
        return "an HTML page cut short";
    return "";
}

std::string search_log_fault(const std::string &log) {
    if (log.empty()) return "";
    const size_t end = strlen(kLogLineEnd);
    if (log.find_first_of("\r\n") != log.size() - end ||
        log.compare(log.size() - end, end, kLogLineEnd) != 0)
        return "the log is not one whole line";
    return "";
}

bool decode_search_input(const uint8_t *data, size_t size,
                         const SettingsSpec (&fixture_settings)[kSearchFixtureCount],
                         SearchFuzzRequest *request) {
    if (size < kSearchInputHeaderSize) return false;
    const uint8_t mode = data[0];
    request->fixture = (mode & kModeBigFixture) ? kBigFixture : kSmallFixture;
    request->post = (mode & kModePost) != 0;
    request->settings = fixture_settings[request->fixture];
    BitReader bits(data + 1);
    for (const Variation &v : kVariations) {
        const char *value = v.values[bits.take(v.bits)];
        if (value != nullptr)
            apply_variation(request->settings, v.key, value, request->fixture == kBigFixture);
    }
    const char *form = (const char *)data + kSearchInputHeaderSize;
    const size_t form_size = size - kSearchInputHeaderSize;
    request->form.assign(form, request->post ? form_size : strnlen(form, form_size));
    return true;
}

}  // namespace testsupport
