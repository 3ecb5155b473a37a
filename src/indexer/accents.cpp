// Accent mapping: the Latin letters with diacritics (U+00C0 to U+017F) and
// their plain forms. The settings list them for the search, which replaces
// them in a query before lower-casing it; the builder replaces them the same
// way in every word, so that "Café" and "cafe" share one base word.
#include <string.h>

#include "context/utf8.h"
#include "indexer/builder_state.h"
#include "text/text.h"

namespace indexer {

namespace {

constexpr uint32_t kFirstMapped = 0xC0, kLastMapped = 0x17F;
// Plain form of each code point from kFirstMapped on; "-": not mapped.
constexpr char kPlainForms[] =
    "A A A A A A AE C E E E E I I I I D N O O O O O - O U U U U Y TH ss a a a a a a ae c e e e e "
    "i i i i d n o o o o o - o u u u u y th y A a A a A a C c C c C c C c D d D d E e E e E e E e "
    "E e G g G g G g G g H h H h I i I i I i I i I i IJ ij J j K k k L l L l L l L l L l N n N n "
    "N n n N n O o O o O o OE oe R r R r R r S s S s S s S s T t T t T t U u U u U u U u U u U u "
    "W w Y y Y Z z Z z Z z s";

std::vector<std::string> plain_table() {
    std::vector<std::string> table;
    const char *at = kPlainForms;
    while (*at != '\0') {
        const size_t length = strcspn(at, " ");
        table.emplace_back(at, length);
        at += length;
        at += strspn(at, " ");
    }
    return table;
}

const std::vector<std::string> &plain_forms() {
    static const std::vector<std::string> table = plain_table();
    return table;
}

std::string utf8_of(uint32_t cp) {
    char bytes[kUtf8MaxBytes];
    return std::string(bytes, (size_t)utf8_encode(cp, bytes));
}

}  // namespace

const std::vector<std::pair<std::string, std::string>> &accent_pairs() {
    static const std::vector<std::pair<std::string, std::string>> pairs = [] {
        std::vector<std::pair<std::string, std::string>> all;
        const std::vector<std::string> &plain = plain_forms();
        for (uint32_t cp = kFirstMapped; cp <= kLastMapped; cp++)
            if (plain[cp - kFirstMapped] != "-")
                all.emplace_back(utf8_of(cp), plain[cp - kFirstMapped]);
        return all;
    }();
    return pairs;
}

void map_accents_into(const char *text, size_t size, std::string &out) {
    static_assert(sizeof kPlainForms > kLastMapped - kFirstMapped, "a form per code point");
    const std::vector<std::string> &plain = plain_forms();
    out.clear();
    for (size_t i = 0; i < size;) {
        const unsigned char lead = (unsigned char)text[i];
        uint32_t cp = 0;
        if (lead >= 0xC3 && lead <= 0xC5 &&
            utf8_decode((const unsigned char *)text + i, size - i, &cp) > 0 && cp >= kFirstMapped &&
            cp <= kLastMapped && plain[cp - kFirstMapped] != "-") {
            out += plain[cp - kFirstMapped];
            i += 2;
            continue;
        }
        out += (char)lead;
        i++;
    }
}

}  // namespace indexer
