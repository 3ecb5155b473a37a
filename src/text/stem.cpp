// Stemming of query words through libstemmer (the Snowball stemmers), and the
// creation of the search's stemmer from the settings.
//
// The library takes 8-bit symbols: a UTF_8 stemmer gets the word's UTF-8
// bytes, a single-byte stemmer (ISO_8859_1, ISO_8859_2, KOI8_R) gets the
// word's bytes in its own encoding. Both are the word's bytes as they stand,
// so the word is handed over unconverted. Its length in UTF-16 units is still
// measured, so that the limits on word and stem length hold as for a stemmer
// fed with UTF-16 units.
#include "text/text.h"

#include <libstemmer.h>
#include <string.h>

#include "context/context.h"
#include "context/utf8.h"

namespace {

// A word holding any of these (grave accent, digits, ASCII punctuation) is
// never stemmed.
constexpr const char kStemSkipChars[] = "`1234567890-=[]\\;',./~!@#$%^&*_+|:\"<>?";
constexpr int kMaxWordUnits = 400;   // longest word stemmed, in UTF-16 units
constexpr int kMaxStemUnits = 2084;  // longest stem accepted, in UTF-16 units

constexpr uint32_t kStemmingAlgoCount = 16;
constexpr uint32_t kAlgoHungarian = 6;
constexpr uint32_t kAlgoRomanian = 11;
constexpr uint32_t kAlgoRussian = 12;
// Settings value StemmingAlgo -> libstemmer algorithm name.
const char *const kAlgorithmNames[kStemmingAlgoCount] = {
    "danish",    "dutch",  "english",    "finnish",  "french",  "german",  "hungarian", "italian",
    "norwegian", "porter", "portuguese", "romanian", "russian", "spanish", "swedish",   "turkish"};

constexpr const char *kInvalidAlgoMessage =
    "Invalid stemming algorithm specified in settings file.<br />\n";
constexpr const char *kStemmerFailedMessage = "Failed to initialize stemmer.<br />\n";

// UTF-16 units of the bytes read as UTF-8: one per character below U+10000,
// two for a character above, and one (a replacement character) for each byte
// that is not part of a well-formed sequence. Counting stops once it passes
// limit, so the result is at most limit + 2.
int count_utf16_units(const unsigned char *bytes, int size, int limit) {
    int units = 0;
    int i = 0;
    while (i < size && units <= limit) {
        int sequence = utf8_decode(bytes + i, (size_t)(size - i), nullptr);
        if (sequence == 0) {
            units += 1;
            i += 1;
        } else {
            units += (sequence == kUtf8MaxBytes) ? 2 : 1;  // a surrogate pair
            i += sequence;
        }
    }
    return units;
}

// Prints a stemmer set-up error, wrapped as an error element in XML mode.
void print_stemmer_error(const char *message) {
    print_error_message(message, "</vesk:error>\n");
}

// libstemmer encoding of the stemmer for a StemmingAlgo value (0..15).
const char *stemmer_encoding(uint32_t algo, bool utf8) {
    if (utf8) return "UTF_8";
    // This library has no Latin-1 Hungarian stemmer; Latin-2 carries the same letters.
    if (algo == kAlgoRomanian || algo == kAlgoHungarian) return "ISO_8859_2";
    if (algo == kAlgoRussian) return "KOI8_R";
    return "ISO_8859_1";
}

}  // namespace

bool create_stemmer() {
    SearchContext &context = g_search_context;
    sb_stemmer_delete(context.g_stemmer);  // never leak a stemmer left from before
    context.g_stemmer = nullptr;
    if (context.UseStemming != 1) return true;

    uint32_t algo = static_cast<uint32_t>(context.StemmingAlgo);
    if (algo >= kStemmingAlgoCount) {
        print_stemmer_error(kInvalidAlgoMessage);
        return false;
    }
    const char *encoding = stemmer_encoding(algo, context.UseUTF8 != 0);
    context.g_stemmer = sb_stemmer_new(kAlgorithmNames[algo], encoding);
    if (context.g_stemmer == nullptr) {
        print_stemmer_error(kStemmerFailedMessage);
        return false;
    }
    return true;
}

bool stem_word(char *word, int length) {
    return stem_word_with(g_search_context.g_stemmer, word, length);
}

bool stem_word_with(sb_stemmer *stemmer, char *word, int length) {
    if (word == nullptr || length <= 0 || stemmer == nullptr) return false;
    // The word ends at its NUL even when length claims more, so nothing past
    // the caller's text is read or written.
    int size = static_cast<int>(strnlen(word, static_cast<size_t>(length)));
    if (size == 0) return false;
    for (int i = 0; i < size; ++i) {
        if (strchr(kStemSkipChars, word[i]) != nullptr) return false;
    }
    const unsigned char *bytes = reinterpret_cast<const unsigned char *>(word);
    if (count_utf16_units(bytes, size, kMaxWordUnits) > kMaxWordUnits) return false;

    const sb_symbol *stem = sb_stemmer_stem(stemmer, bytes, size);
    if (stem == nullptr) return false;
    int stem_size = sb_stemmer_length(stemmer);
    if (stem_size <= 0) return false;
    if (count_utf16_units(stem, stem_size, kMaxStemUnits) > kMaxStemUnits) return false;
    // The stem is written over the word and may not need more bytes than it had.
    if (stem_size > size) return false;
    memmove(word, stem, static_cast<size_t>(stem_size));
    word[stem_size] = '\0';
    return true;
}

int stemming_algorithm_number(const char *name) {
    for (uint32_t algo = 0; name != nullptr && algo < kStemmingAlgoCount; algo++)
        if (strcmp(kAlgorithmNames[algo], name) == 0) return (int)algo;
    return -1;
}

sb_stemmer *new_utf8_stemmer(int algo) {
    if (algo < 0 || (uint32_t)algo >= kStemmingAlgoCount) return nullptr;
    return sb_stemmer_new(kAlgorithmNames[algo], "UTF_8");
}
