// Double Metaphone: two phonetic keys (primary and alternate) of one word, as
// used to look spelling candidates up by sound. The letter rules follow the
// published Double Metaphone algorithm; this file adds the working string, the
// padding, the upper-casing, the two Latin-1 capitals and the key length.
#include "text/text.h"

#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include <initializer_list>

namespace {

constexpr int kKeyLength = 4;      // characters kept of each key
constexpr int kPaddingLength = 5;  // look-ahead past the word reads blanks
constexpr unsigned char kLatin1CapitalCCedilla = 0xC7;
constexpr unsigned char kLatin1CapitalNTilde = 0xD1;
// Longest word coded: the rules count positions in an int.
constexpr size_t kPhoneticWordLimit = INT_MAX - kPaddingLength;

// The word being coded, read in place: its ASCII letters upper-cased, then
// kPaddingLength blanks, then NULs, so that the rules never need a copy.
struct PhoneticWord {
    const char *text;
    int length;  // bytes of the word, without the padding
};

char phonetic_char_at(const PhoneticWord &word, int position) {
    if (position < 0 || position >= word.length + kPaddingLength) return '\0';
    if (position >= word.length) return ' ';
    const unsigned char c = static_cast<unsigned char>(word.text[position]);
    // Only a..z: bytes above 127 stay as they are whatever the locale.
    return static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
}

bool phonetic_is_vowel(const PhoneticWord &word, int position) {
    const char c = phonetic_char_at(word, position);
    return c == 'A' || c == 'E' || c == 'I' || c == 'O' || c == 'U' || c == 'Y';
}

// Whether the n characters at start (fewer when the padded word ends first)
// equal those of candidate, as strncmp compares them.
bool phonetic_matches(const PhoneticWord &word, int start, int n, const char *candidate) {
    for (int i = 0; i < n; ++i) {
        const char c = phonetic_char_at(word, start + i);
        if (c != candidate[i]) return false;
        if (c == '\0') break;
    }
    return true;
}

bool phonetic_is_slavo_germanic(const PhoneticWord &word) {
    for (int i = 0; i < word.length; ++i) {
        const char c = phonetic_char_at(word, i);
        if (c == 'W' || c == 'K' || phonetic_matches(word, i, 2, "CZ")) return true;
    }
    return false;
}

// True when the n characters at start equal one of the listed texts. The list
// is given as a brace list, so the end marker of a C variadic list is not needed.
bool phonetic_string_at(const PhoneticWord &word, int start, int n,
                        std::initializer_list<const char *> list) {
    if (start < 0 || start >= word.length + kPaddingLength) return false;
    for (const char *candidate : list)
        if (phonetic_matches(word, start, n, candidate)) return true;
    return false;
}

// One key being built: only its first kKeyLength characters are kept, and
// its length stops there too (the coder only asks whether it is complete).
struct PhoneticKey {
    char text[kKeyLength + 1];
    int length;
};

void phonetic_append(PhoneticKey &key, const char *text) {
    if (text == nullptr) return;
    for (; *text != '\0' && key.length < kKeyLength; ++text) key.text[key.length++] = *text;
    key.text[key.length] = '\0';
}

// The two keys being built and the word they are built from.
struct Coder {
    PhoneticWord word;
    PhoneticKey primary;
    PhoneticKey alternate;
    int current;  // position in the word
    int last;     // position of the word's last character (before padding)
    int length;   // word length before padding

    char at(int position) const { return phonetic_char_at(word, position); }
    bool is(int start, int n, std::initializer_list<const char *> list) const {
        return phonetic_string_at(word, start, n, list);
    }
    bool vowel(int position) const { return phonetic_is_vowel(word, position); }
    bool slavo_germanic() const { return phonetic_is_slavo_germanic(word); }
    bool germanic_name() const { return is(0, 4, {"VAN ", "VON "}) || is(0, 3, {"SCH"}); }
    void add(const char *both) { add(both, both); }
    void add(const char *main, const char *alt) {
        phonetic_append(primary, main);
        phonetic_append(alternate, alt);
    }
    // Appends the codes and advances past the characters they stand for.
    void take(const char *both, int advance) { take(both, both, advance); }
    void take(const char *main, const char *alt, int advance) {
        add(main, alt);
        current += advance;
    }
    // Advances by 2 when the next character repeats letter, else by 1.
    void skip_double(char letter) { current += (at(current + 1) == letter) ? 2 : 1; }
};

void code_c(Coder &c) {
    int cur = c.current;
    // Germanic "ACH" as in "bacher", "macher", but not "-achi-" or "-ache-".
    if (cur > 1 && !c.vowel(cur - 2) && c.is(cur - 1, 3, {"ACH"}) && c.at(cur + 2) != 'I' &&
        (c.at(cur + 2) != 'E' || c.is(cur - 2, 6, {"BACHER", "MACHER"}))) {
        return c.take("K", 2);
    }
    if (cur == 0 && c.is(cur, 6, {"CAESAR"})) return c.take("S", 2);
    if (c.is(cur, 4, {"CHIA"})) return c.take("K", 2);  // Italian "chianti"
    if (c.is(cur, 2, {"CH"})) {
        if (cur > 0 && c.is(cur, 4, {"CHAE"})) return c.take("K", "X", 2);  // "michael"
        // Greek roots: "chemistry", "chorus".
        if (cur == 0 &&
            (c.is(cur + 1, 5, {"HARAC", "HARIS"}) ||
             c.is(cur + 1, 3, {"HOR", "HYM", "HIA", "HEM"})) &&
            !c.is(0, 5, {"CHORE"})) {
            return c.take("K", 2);
        }
        // "ch" for a "kh" sound: Germanic names, "orchestra", "wachtler".
        if (c.germanic_name() || c.is(cur - 2, 6, {"ORCHES", "ARCHIT", "ORCHID"}) ||
            c.is(cur + 2, 1, {"T", "S"}) ||
            ((c.is(cur - 1, 1, {"A", "O", "U", "E"}) || cur == 0) &&
             c.is(cur + 2, 1, {"L", "R", "N", "M", "B", "H", "F", "V", "W", " "}))) {
            return c.take("K", 2);
        }
        if (cur == 0) return c.take("X", 2);
        if (c.is(0, 2, {"MC"})) return c.take("K", 2);  // "McHugh"
        return c.take("X", "K", 2);
    }
    if (c.is(cur, 2, {"CZ"}) && !c.is(cur - 2, 4, {"WICZ"})) return c.take("S", "X", 2);
    if (c.is(cur + 1, 3, {"CIA"})) return c.take("X", 3);         // "focaccia"
    if (c.is(cur, 2, {"CC"}) && !(cur == 1 && c.at(0) == 'M')) {  // not "McClellan"
        if (!c.is(cur + 2, 1, {"I", "E", "H"}) || c.is(cur + 2, 2, {"HU"})) {
            return c.take("K", 2);  // "bacchus"
        }
        if ((cur == 1 && c.at(cur - 1) == 'A') || c.is(cur - 1, 5, {"UCCEE", "UCCES"})) {
            return c.take("KS", 3);  // "accident", "succeed"
        }
        return c.take("X", 3);  // "bacci", "bertucci"
    }
    if (c.is(cur, 2, {"CK", "CG", "CQ"})) return c.take("K", 2);
    if (c.is(cur, 2, {"CI", "CE", "CY"})) {
        if (c.is(cur, 3, {"CIO", "CIE", "CIA"})) return c.take("S", "X", 2);  // Italian
        return c.take("S", 2);
    }
    if (c.is(cur + 1, 2, {" C", " Q", " G"})) return c.take("K", 3);  // "mac caffrey"
    if (c.is(cur + 1, 1, {"C", "K", "Q"}) && !c.is(cur + 1, 2, {"CE", "CI"})) {
        return c.take("K", 2);
    }
    c.take("K", 1);
}

void code_d(Coder &c) {
    int cur = c.current;
    if (c.is(cur, 2, {"DG"})) {
        if (c.is(cur + 2, 1, {"I", "E", "Y"})) return c.take("J", 3);  // "edge"
        return c.take("TK", 2);                                        // "edgar"
    }
    c.take("T", c.is(cur, 2, {"DT", "DD"}) ? 2 : 1);
}

// "GH" at the current position.
void code_gh(Coder &c) {
    int cur = c.current;
    if (cur > 0 && !c.vowel(cur - 1)) return c.take("K", 2);
    if (cur == 0) return c.take(c.at(cur + 2) == 'I' ? "J" : "K", 2);  // "ghislane"
    // Silent: "hugh", "bough", "broughton".
    if ((cur > 1 && c.is(cur - 2, 1, {"B", "H", "D"})) ||
        (cur > 2 && c.is(cur - 3, 1, {"B", "H", "D"})) ||
        (cur > 3 && c.is(cur - 4, 1, {"B", "H"}))) {
        return c.take("", 2);
    }
    if (cur > 2 && c.at(cur - 1) == 'U' && c.is(cur - 3, 1, {"C", "G", "L", "R", "T"})) {
        return c.take("F", 2);  // "laugh", "cough", "tough"
    }
    c.take(c.at(cur - 1) != 'I' ? "K" : "", 2);
}

void code_g(Coder &c) {
    int cur = c.current;
    if (c.at(cur + 1) == 'H') return code_gh(c);
    if (c.at(cur + 1) == 'N') {
        if (cur == 1 && c.vowel(0) && !c.slavo_germanic()) return c.take("KN", "N", 2);
        // The test of the letter after G against 'Y' never holds here (it is
        // 'N'); it is kept as the rule has it.
        if (!c.is(cur + 2, 2, {"EY"}) && c.at(cur + 1) != 'Y' && !c.slavo_germanic()) {
            return c.take("N", "KN", 2);
        }
        return c.take("KN", 2);  // "cagney"
    }
    if (c.is(cur + 1, 2, {"LI"}) && !c.slavo_germanic()) return c.take("KL", "L", 2);
    if (cur == 0 &&
        (c.at(cur + 1) == 'Y' ||
         c.is(cur + 1, 2, {"ES", "EP", "EB", "EL", "EY", "IB", "IL", "IN", "IE", "EI", "ER"}))) {
        return c.take("K", "J", 2);
    }
    if ((c.is(cur + 1, 2, {"ER"}) || c.at(cur + 1) == 'Y') &&
        !c.is(0, 6, {"DANGER", "RANGER", "MANGER"}) && !c.is(cur - 1, 1, {"E", "I"}) &&
        !c.is(cur - 1, 3, {"RGY", "OGY"})) {
        return c.take("K", "J", 2);  // "-ger-", "-gy-"
    }
    if (c.is(cur + 1, 1, {"E", "I", "Y"}) || c.is(cur - 1, 4, {"AGGI", "OGGI"})) {
        if (c.germanic_name() || c.is(cur + 1, 2, {"ET"})) return c.take("K", 2);
        if (c.is(cur + 1, 4, {"IER "})) return c.take("J", 2);  // French ending
        return c.take("J", "K", 2);                             // Italian "biaggi"
    }
    c.take("K", c.at(cur + 1) == 'G' ? 2 : 1);
}

void code_j(Coder &c) {
    int cur = c.current;
    if (c.is(cur, 4, {"JOSE"}) || c.is(0, 4, {"SAN "})) {  // Spanish "jose", "san jacinto"
        if ((cur == 0 && c.at(cur + 4) == ' ') || c.is(0, 4, {"SAN "})) return c.take("H", 1);
        return c.take("J", "H", 1);
    }
    if (cur == 0 && !c.is(cur, 4, {"JOSE"})) {
        c.add("J", "A");  // "Yankelovich" / "Jankelowicz"
    } else if (c.vowel(cur - 1) && !c.slavo_germanic() &&
               (c.at(cur + 1) == 'A' || c.at(cur + 1) == 'O')) {
        c.add("J", "H");  // Spanish "bajador"
    } else if (cur == c.last) {
        c.add("J", "");
    } else if (!c.is(cur + 1, 1, {"L", "T", "K", "S", "N", "M", "B", "Z"}) &&
               !c.is(cur - 1, 1, {"S", "K", "L"})) {
        c.add("J");
    }
    c.skip_double('J');
}

void code_l(Coder &c) {
    int cur = c.current;
    if (c.at(cur + 1) != 'L') return c.take("L", 1);
    // Spanish "cabrillo", "gallegos": the alternate key drops the L.
    if ((cur == c.length - 3 && c.is(cur - 1, 4, {"ILLO", "ILLA", "ALLE"})) ||
        ((c.is(c.last - 1, 2, {"AS", "OS"}) || c.is(c.last, 1, {"A", "O"})) &&
         c.is(cur - 1, 4, {"ALLE"}))) {
        return c.take("L", "", 2);
    }
    c.take("L", 2);
}

// "SC" at the current position.
void code_sc(Coder &c) {
    int cur = c.current;
    if (c.at(cur + 2) == 'H') {
        if (c.is(cur + 3, 2, {"ER", "EN"})) return c.take("X", "SK", 3);         // "schenker"
        if (c.is(cur + 3, 2, {"OO", "UY", "ED", "EM"})) return c.take("SK", 3);  // "school"
        if (cur == 0 && !c.vowel(3) && c.at(3) != 'W') return c.take("X", "S", 3);
        return c.take("X", 3);
    }
    c.take(c.is(cur + 2, 1, {"I", "E", "Y"}) ? "S" : "SK", 3);
}

void code_s(Coder &c) {
    int cur = c.current;
    if (c.is(cur - 1, 3, {"ISL", "YSL"})) return c.take("", 1);  // "island", "carlisle"
    if (cur == 0 && c.is(cur, 5, {"SUGAR"})) return c.take("X", "S", 1);
    if (c.is(cur, 2, {"SH"})) {
        if (c.is(cur + 1, 4, {"HEIM", "HOEK", "HOLM", "HOLZ"})) return c.take("S", 2);  // Germanic
        return c.take("X", 2);
    }
    if (c.is(cur, 3, {"SIO", "SIA"}) || c.is(cur, 4, {"SIAN"})) {  // Italian, Armenian
        return c.slavo_germanic() ? c.take("S", 3) : c.take("S", "X", 3);
    }
    // "smith" matches "schmidt", "snider" matches "schneider"; Slavic "-sz-".
    if (c.is(cur + 1, 1, {"Z"})) return c.take("S", "X", 2);
    if (cur == 0 && c.is(cur + 1, 1, {"M", "N", "L", "W"})) return c.take("S", "X", 1);
    if (c.is(cur, 2, {"SC"})) return code_sc(c);
    int advance = c.is(cur + 1, 1, {"S", "Z"}) ? 2 : 1;
    if (cur == c.last && c.is(cur - 2, 2, {"AI", "OI"})) {
        return c.take("", "S", advance);  // French "resnais", "artois"
    }
    c.take("S", advance);
}

void code_t(Coder &c) {
    int cur = c.current;
    if (c.is(cur, 4, {"TION"}) || c.is(cur, 3, {"TIA", "TCH"})) return c.take("X", 3);
    if (c.is(cur, 2, {"TH"}) || c.is(cur, 3, {"TTH"})) {
        if (c.is(cur + 2, 2, {"OM", "AM"}) || c.germanic_name()) return c.take("T", 2);  // "thomas"
        return c.take("0", "T", 2);
    }
    c.take("T", c.is(cur + 1, 1, {"T", "D"}) ? 2 : 1);
}

void code_w(Coder &c) {
    int cur = c.current;
    if (c.is(cur, 2, {"WR"})) return c.take("R", 2);
    if (cur == 0 && c.vowel(cur + 1)) {
        c.add("A", "F");  // "Wasserman" matches "Vasserman"
    } else if (cur == 0 && c.is(cur, 2, {"WH"})) {
        c.add("A");  // "Uomo" matches "Womo"
    }
    if ((cur == c.last && c.vowel(cur - 1)) ||
        c.is(cur - 1, 5, {"EWSKI", "EWSKY", "OWSKI", "OWSKY"}) || c.is(0, 3, {"SCH"})) {
        return c.take("", "F", 1);  // "Arnow" matches "Arnoff"
    }
    if (c.is(cur, 4, {"WICZ", "WITZ"})) return c.take("TS", "FX", 4);  // Polish "filipowicz"
    c.take("", 1);
}

void code_x(Coder &c) {
    int cur = c.current;
    // French "breaux": a final X after IAU, EAU, AU or OU is silent.
    bool silent =
        cur == c.last && (c.is(cur - 3, 3, {"IAU", "EAU"}) || c.is(cur - 2, 2, {"AU", "OU"}));
    c.take(silent ? "" : "KS", c.is(cur + 1, 1, {"C", "X"}) ? 2 : 1);
}

void code_z(Coder &c) {
    int cur = c.current;
    if (c.at(cur + 1) == 'H') return c.take("J", 2);  // Chinese pinyin "zhao"
    int advance = c.at(cur + 1) == 'Z' ? 2 : 1;
    if (c.is(cur + 1, 2, {"ZO", "ZI", "ZA"}) ||
        (c.slavo_germanic() && cur > 0 && c.at(cur - 1) != 'T')) {
        return c.take("S", "TS", advance);
    }
    c.take("S", advance);
}

// Letters that code as one fixed text and swallow a doubled letter.
const char *plain_code(unsigned char letter) {
    switch (letter) {
        case 'B':
            return "P";  // a silent B after M ("dumb") is skipped by M
        case 'F':
            return "F";
        case 'K':
            return "K";
        case 'N':
            return "N";
        case 'Q':
            return "K";
        case 'V':
            return "F";
        default:
            return nullptr;
    }
}

// Codes the character at the current position and advances past it.
void code_m(Coder &c) {
    const int cur = c.current;
    // "dumb", "thumb", "dumber": the B after UM is silent.
    bool silent_b = c.is(cur - 1, 3, {"UMB"}) && (cur + 1 == c.last || c.is(cur + 2, 2, {"ER"}));
    return c.take("M", (silent_b || c.at(cur + 1) == 'M') ? 2 : 1);
}

void code_r(Coder &c) {
    const int cur = c.current;
    // French "rogier", but not "hochmeier".
    int advance = c.at(cur + 1) == 'R' ? 2 : 1;
    if (cur == c.last && !c.slavo_germanic() && c.is(cur - 2, 2, {"IE"}) &&
        !c.is(cur - 4, 2, {"ME", "MA"})) {
        return c.take("", "R", advance);
    }
    return c.take("R", advance);
}

void code_one(Coder &c) {
    int cur = c.current;
    unsigned char letter = static_cast<unsigned char>(c.at(cur));
    if (const char *code = plain_code(letter)) {
        return c.take(code, c.at(cur + 1) == static_cast<char>(letter) ? 2 : 1);
    }
    switch (letter) {
        case 'A':
        case 'E':
        case 'I':
        case 'O':
        case 'U':
        case 'Y':
            return c.take(cur == 0 ? "A" : "", 1);  // only an initial vowel is coded
        case kLatin1CapitalCCedilla:
            return c.take("S", 1);
        case kLatin1CapitalNTilde:
            return c.take("N", 1);
        case 'C':
            return code_c(c);
        case 'D':
            return code_d(c);
        case 'G':
            return code_g(c);
        case 'H':
            // Kept only when initial or after a vowel, and before a vowel.
            if ((cur == 0 || c.vowel(cur - 1)) && c.vowel(cur + 1)) return c.take("H", 2);
            return c.take("", 1);
        case 'J':
            return code_j(c);
        case 'L':
            return code_l(c);
        case 'M':
            return code_m(c);
        case 'P':
            if (c.at(cur + 1) == 'H') return c.take("F", 2);
            return c.take("P", c.is(cur + 1, 1, {"P", "B"}) ? 2 : 1);  // "campbell"
        case 'R':
            return code_r(c);
        case 'S':
            return code_s(c);
        case 'T':
            return code_t(c);
        case 'W':
            return code_w(c);
        case 'X':
            return code_x(c);
        case 'Z':
            return code_z(c);
        default:
            return c.take("", 1);
    }
}

}  // namespace

bool double_metaphone(const char *word, char **keys) {
    if (word == nullptr) word = "";
    Coder c;
    c.length = static_cast<int>(strnlen(word, kPhoneticWordLimit));
    c.last = c.length - 1;
    c.word = PhoneticWord{word, c.length};
    c.primary = PhoneticKey{{0}, 0};
    c.alternate = PhoneticKey{{0}, 0};

    c.current = c.is(0, 2, {"GN", "KN", "PN", "WR", "PS"}) ? 1 : 0;  // silent first letter
    if (c.at(0) == 'X') c.take("S", 1);  // initial X sounds like Z: "Xavier"
    while ((c.primary.length < kKeyLength || c.alternate.length < kKeyLength) &&
           c.current < c.length) {
        code_one(c);
    }

    keys[0] = static_cast<char *>(malloc(sizeof c.primary.text));
    keys[1] = static_cast<char *>(malloc(sizeof c.alternate.text));
    if (keys[0] == nullptr || keys[1] == nullptr) {
        free(keys[0]);
        free(keys[1]);
        keys[0] = keys[1] = nullptr;
        return false;
    }
    memcpy(keys[0], c.primary.text, sizeof c.primary.text);
    memcpy(keys[1], c.alternate.text, sizeof c.alternate.text);
    return true;
}
