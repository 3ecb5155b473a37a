// Text for XML answers and the settings echo: character data and attribute
// values that are well-formed whatever the index, the request or the settings
// hold. In document text, references the document may carry are kept, the
// named entities of HTML 4 become numeric references and every other '&' and
// '<' is escaped; in a literal value every '&', '<', '>' and '"' is. In both,
// control bytes are dropped and, in UTF-8, byte sequences that are no
// character become U+FFFD.
#include "context/xml_text.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "context/utf8.h"

namespace {
// One named entity of HTML 4 and its code point.
struct NamedEntity {
    const char *name;
    uint32_t code_point;
};

// The 252 entities of HTML 4.01, sorted by name (byte order) for the search.
const NamedEntity kHtmlEntities[] = {
    {"AElig", 198},   {"Aacute", 193},  {"Acirc", 194},   {"Agrave", 192},  {"Alpha", 913},
    {"Aring", 197},   {"Atilde", 195},  {"Auml", 196},    {"Beta", 914},    {"Ccedil", 199},
    {"Chi", 935},     {"Dagger", 8225}, {"Delta", 916},   {"ETH", 208},     {"Eacute", 201},
    {"Ecirc", 202},   {"Egrave", 200},  {"Epsilon", 917}, {"Eta", 919},     {"Euml", 203},
    {"Gamma", 915},   {"Iacute", 205},  {"Icirc", 206},   {"Igrave", 204},  {"Iota", 921},
    {"Iuml", 207},    {"Kappa", 922},   {"Lambda", 923},  {"Mu", 924},      {"Ntilde", 209},
    {"Nu", 925},      {"OElig", 338},   {"Oacute", 211},  {"Ocirc", 212},   {"Ograve", 210},
    {"Omega", 937},   {"Omicron", 927}, {"Oslash", 216},  {"Otilde", 213},  {"Ouml", 214},
    {"Phi", 934},     {"Pi", 928},      {"Prime", 8243},  {"Psi", 936},     {"Rho", 929},
    {"Scaron", 352},  {"Sigma", 931},   {"THORN", 222},   {"Tau", 932},     {"Theta", 920},
    {"Uacute", 218},  {"Ucirc", 219},   {"Ugrave", 217},  {"Upsilon", 933}, {"Uuml", 220},
    {"Xi", 926},      {"Yacute", 221},  {"Yuml", 376},    {"Zeta", 918},    {"aacute", 225},
    {"acirc", 226},   {"acute", 180},   {"aelig", 230},   {"agrave", 224},  {"alefsym", 8501},
    {"alpha", 945},   {"amp", 38},      {"and", 8743},    {"ang", 8736},    {"aring", 229},
    {"asymp", 8776},  {"atilde", 227},  {"auml", 228},    {"bdquo", 8222},  {"beta", 946},
    {"brvbar", 166},  {"bull", 8226},   {"cap", 8745},    {"ccedil", 231},  {"cedil", 184},
    {"cent", 162},    {"chi", 967},     {"circ", 710},    {"clubs", 9827},  {"cong", 8773},
    {"copy", 169},    {"crarr", 8629},  {"cup", 8746},    {"curren", 164},  {"dArr", 8659},
    {"dagger", 8224}, {"darr", 8595},   {"deg", 176},     {"delta", 948},   {"diams", 9830},
    {"divide", 247},  {"eacute", 233},  {"ecirc", 234},   {"egrave", 232},  {"empty", 8709},
    {"emsp", 8195},   {"ensp", 8194},   {"epsilon", 949}, {"equiv", 8801},  {"eta", 951},
    {"eth", 240},     {"euml", 235},    {"euro", 8364},   {"exist", 8707},  {"fnof", 402},
    {"forall", 8704}, {"frac12", 189},  {"frac14", 188},  {"frac34", 190},  {"frasl", 8260},
    {"gamma", 947},   {"ge", 8805},     {"gt", 62},       {"hArr", 8660},   {"harr", 8596},
    {"hearts", 9829}, {"hellip", 8230}, {"iacute", 237},  {"icirc", 238},   {"iexcl", 161},
    {"igrave", 236},  {"image", 8465},  {"infin", 8734},  {"int", 8747},    {"iota", 953},
    {"iquest", 191},  {"isin", 8712},   {"iuml", 239},    {"kappa", 954},   {"lArr", 8656},
    {"lambda", 955},  {"lang", 9001},   {"laquo", 171},   {"larr", 8592},   {"lceil", 8968},
    {"ldquo", 8220},  {"le", 8804},     {"lfloor", 8970}, {"lowast", 8727}, {"loz", 9674},
    {"lrm", 8206},    {"lsaquo", 8249}, {"lsquo", 8216},  {"lt", 60},       {"macr", 175},
    {"mdash", 8212},  {"micro", 181},   {"middot", 183},  {"minus", 8722},  {"mu", 956},
    {"nabla", 8711},  {"nbsp", 160},    {"ndash", 8211},  {"ne", 8800},     {"ni", 8715},
    {"not", 172},     {"notin", 8713},  {"nsub", 8836},   {"ntilde", 241},  {"nu", 957},
    {"oacute", 243},  {"ocirc", 244},   {"oelig", 339},   {"ograve", 242},  {"oline", 8254},
    {"omega", 969},   {"omicron", 959}, {"oplus", 8853},  {"or", 8744},     {"ordf", 170},
    {"ordm", 186},    {"oslash", 248},  {"otilde", 245},  {"otimes", 8855}, {"ouml", 246},
    {"para", 182},    {"part", 8706},   {"permil", 8240}, {"perp", 8869},   {"phi", 966},
    {"pi", 960},      {"piv", 982},     {"plusmn", 177},  {"pound", 163},   {"prime", 8242},
    {"prod", 8719},   {"prop", 8733},   {"psi", 968},     {"quot", 34},     {"rArr", 8658},
    {"radic", 8730},  {"rang", 9002},   {"raquo", 187},   {"rarr", 8594},   {"rceil", 8969},
    {"rdquo", 8221},  {"real", 8476},   {"reg", 174},     {"rfloor", 8971}, {"rho", 961},
    {"rlm", 8207},    {"rsaquo", 8250}, {"rsquo", 8217},  {"sbquo", 8218},  {"scaron", 353},
    {"sdot", 8901},   {"sect", 167},    {"shy", 173},     {"sigma", 963},   {"sigmaf", 962},
    {"sim", 8764},    {"spades", 9824}, {"sub", 8834},    {"sube", 8838},   {"sum", 8721},
    {"sup", 8835},    {"sup1", 185},    {"sup2", 178},    {"sup3", 179},    {"supe", 8839},
    {"szlig", 223},   {"tau", 964},     {"there4", 8756}, {"theta", 952},   {"thetasym", 977},
    {"thinsp", 8201}, {"thorn", 254},   {"tilde", 732},   {"times", 215},   {"trade", 8482},
    {"uArr", 8657},   {"uacute", 250},  {"uarr", 8593},   {"ucirc", 251},   {"ugrave", 249},
    {"uml", 168},     {"upsih", 978},   {"upsilon", 965}, {"uuml", 252},    {"weierp", 8472},
    {"xi", 958},      {"yacute", 253},  {"yen", 165},     {"yuml", 255},    {"zeta", 950},
    {"zwj", 8205},    {"zwnj", 8204},
};
constexpr int kHtmlEntityCount = sizeof kHtmlEntities / sizeof kHtmlEntities[0];
static_assert(kHtmlEntityCount == 252, "HTML 4.01 names 252 entities");

// The references every XML document knows.
const char *const kPredefinedEntities[] = {"amp", "lt", "gt", "quot", "apos"};

constexpr size_t kMaxEntityNameLength = 8;  // longest HTML 4 name: "thetasym"
constexpr size_t kMaxReferenceDigits = 8;   // digits of a numeric reference kept at most
constexpr int kDecimalBase = 10;
constexpr int kHexBase = 16;
const char kReplacementCharacter[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8
const char kEscapedAmpersand[] = "&amp;";
const char kEscapedLess[] = "&lt;";
const char kEscapedGreater[] = "&gt;";
const char kEscapedQuote[] = "&quot;";
static_assert(sizeof kEscapedQuote - 1 == kXmlLiteralGrowth, "the longest literal escape");
static_assert(sizeof kEscapedAmpersand - 1 == kXmlEscapeGrowth, "the longest text escape");

// What the escaper takes the text for.
enum class EscapeMode {
    kDocument,   // document text: references kept, '<' escaped
    kOwnMarkup,  // the program's own markup in document text: '<' kept
    kLiteral,    // a value as it stands: every '&', '<', '>' and '"' escaped
};

// Whether code point cp is a character of XML 1.0.
bool is_xml_char(uint32_t cp) {
    if (cp < 0x20) return cp == '\t' || cp == '\n' || cp == '\r';
    if (cp <= 0xD7FF) return true;
    if (cp >= 0xE000 && cp <= 0xFFFD) return true;
    return cp >= 0x10000 && cp <= kUnicodeLast;
}

int digit_value(char c, int base) {
    if (c >= '0' && c <= '9') return c - '0';
    if (base == kHexBase && c >= 'a' && c <= 'f') return c - 'a' + kDecimalBase;
    if (base == kHexBase && c >= 'A' && c <= 'F') return c - 'A' + kDecimalBase;
    return -1;
}

// Length of the numeric reference "&#N;" or "&#xH;" at text (at most `left`
// bytes) when it names a character of XML, else 0.
size_t numeric_reference_length(const char *text, size_t left) {
    size_t i = 2;
    int base = kDecimalBase;
    if (i < left && text[i] == 'x') {  // XML has no "&#X"
        base = kHexBase;
        i++;
    }
    const size_t first_digit = i;
    uint32_t value = 0;
    while (i < left && i - first_digit < kMaxReferenceDigits && digit_value(text[i], base) >= 0)
        value = value * (uint32_t)base + (uint32_t)digit_value(text[i++], base);
    if (i == first_digit || i >= left || text[i] != ';' || !is_xml_char(value)) return 0;
    return i + 1;
}

int compare_name(const char *name, const char *text, size_t length) {
    int order = strncmp(name, text, length);
    if (order != 0) return order;
    return name[length] == '\0' ? 0 : 1;
}

// Code point of the HTML 4 entity whose name is text[0..length), or 0.
uint32_t html_entity_code_point(const char *text, size_t length) {
    int low = 0, high = kHtmlEntityCount - 1;
    while (low <= high) {
        int mid = low + (high - low) / 2;
        int order = compare_name(kHtmlEntities[mid].name, text, length);
        if (order == 0) return kHtmlEntities[mid].code_point;
        if (order < 0)
            low = mid + 1;
        else
            high = mid - 1;
    }
    return 0;
}

bool is_ascii_letter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool is_ascii_digit(char c) {
    return c >= '0' && c <= '9';
}

// Writes what the '&' at text (at most `left` bytes) becomes; returns the input
// bytes taken.
size_t write_reference(const char *text, size_t left, char *&out) {
    if (left > 1 && text[1] == '#') {
        size_t length = numeric_reference_length(text, left);
        if (length > 0) {
            memcpy(out, text, length);
            out += length;
            return length;
        }
    }
    size_t name = 1;
    while (name < left && name <= kMaxEntityNameLength &&
           (is_ascii_letter(text[name]) || (name > 1 && is_ascii_digit(text[name]))))
        name++;
    if (name > 1 && name < left && text[name] == ';') {
        for (const char *predefined : kPredefinedEntities) {
            if (compare_name(predefined, text + 1, name - 1) == 0) {
                memcpy(out, text, name + 1);
                out += name + 1;
                return name + 1;
            }
        }
        uint32_t cp = html_entity_code_point(text + 1, name - 1);
        if (cp != 0) {
            out += sprintf(out, "&#%u;", cp);
            return name + 1;
        }
    }
    memcpy(out, kEscapedAmpersand, sizeof kEscapedAmpersand - 1);
    out += sizeof kEscapedAmpersand - 1;
    return 1;
}

// Bytes of the well-formed UTF-8 character of XML at text (at most `left`
// bytes), or 0 when the bytes there form none.
size_t utf8_character_length(const char *text, size_t left) {
    uint32_t cp;
    const int length = utf8_decode((const unsigned char *)text, left, &cp);
    return length > 0 && is_xml_char(cp) ? (size_t)length : 0;
}

// Appends the escape (a string literal) at out.
template <size_t N>
void put(char *&out, const char (&escape)[N]) {
    memcpy(out, escape, N - 1);
    out += N - 1;
}

// The one escaper: see xml_escape_text and xml_escape_literal.
size_t escape_xml(char *out, const char *text, size_t length, bool utf8, EscapeMode mode) {
    char *const start = out;
    const bool literal = mode == EscapeMode::kLiteral;
    size_t i = 0;
    while (i < length) {
        const char c = text[i];
        const unsigned char byte = (unsigned char)c;
        size_t taken = 1;
        if (c == '&' && !literal) {
            taken = write_reference(text + i, length - i, out);
        } else if (c == '&') {
            put(out, kEscapedAmpersand);
        } else if (c == '<' && mode != EscapeMode::kOwnMarkup) {
            put(out, kEscapedLess);
        } else if (c == '>' &&
                   (literal || (out - start >= 2 && out[-1] == ']' && out[-2] == ']'))) {
            put(out, kEscapedGreater);  // "]]>" may not stand in character data
        } else if (c == '"' && literal) {
            put(out, kEscapedQuote);
        } else if (byte < 0x20 && !is_xml_char(byte)) {
            // dropped
        } else if (byte >= 0x80 && utf8) {
            taken = utf8_character_length(text + i, length - i);
            if (taken == 0) {
                put(out, kReplacementCharacter);
                taken = 1;
            } else {
                memcpy(out, text + i, taken);
                out += taken;
            }
        } else {
            *out++ = c;
        }
        i += taken;
    }
    *out = '\0';
    return (size_t)(out - start);
}
}  // namespace

size_t xml_escape_text(char *out, const char *text, size_t length, bool utf8, bool keep_tags) {
    return escape_xml(out, text, length, utf8,
                      keep_tags ? EscapeMode::kOwnMarkup : EscapeMode::kDocument);
}

size_t xml_escape_literal(char *out, const char *text, size_t length, bool utf8) {
    return escape_xml(out, text, length, utf8, EscapeMode::kLiteral);
}

bool charset_is_utf8(const char *charset) {
    // The program selects no locale: strcasecmp folds the ASCII letters only.
    return strcasecmp(charset, "utf-8") == 0 || strcasecmp(charset, "utf8") == 0;
}

bool is_xml_name_part(const char *name) {
    if (name == nullptr || name[0] == '\0') return false;
    for (const char *p = name; *p != '\0'; p++) {
        const unsigned char byte = (unsigned char)*p;
        bool allowed = is_ascii_letter(*p) || *p == '_' || byte >= 0x80 ||
                       (p > name && (is_ascii_digit(*p) || *p == '-' || *p == '.'));
        if (!allowed) return false;
    }
    return true;
}
