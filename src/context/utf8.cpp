// UTF-8 units, decoding and cutting (contracts in utf8.h).
#include "context/utf8.h"

namespace {

// Lead bytes: the first of each range and the sequence length it starts.
constexpr unsigned char kFirstTwoByteLead = 0xC0;    // 2-byte units (C0, C1 start no character)
constexpr unsigned char kFirstThreeByteLead = 0xE0;  // 3-byte units
constexpr unsigned char kFirstFourByteLead = 0xF0;   // 4-byte units (F5-F7 start no character)
constexpr unsigned char kFirstFiveByteLead = 0xF8;   // 5-byte units, never a character
constexpr unsigned char kFirstSixByteLead = 0xFC;    // 6-byte units, never a character
constexpr unsigned char kFirstCharacterLead = 0xC2;  // below: overlong 2-byte forms
constexpr unsigned char kLastCharacterLead = 0xF4;   // above: beyond U+10FFFF

// Second bytes that keep E0, ED, F0 and F4 sequences shortest, no surrogate
// and within U+10FFFF.
constexpr unsigned char kOverlongThreeLead = 0xE0, kThreeAfterOverlong = 0xA0;
constexpr unsigned char kSurrogateLead = 0xED, kLastBeforeSurrogates = 0x9F;
constexpr unsigned char kOverlongFourLead = 0xF0, kFourAfterOverlong = 0x90;
constexpr unsigned char kLastFourLead = 0xF4, kLastBeforeBeyond = 0x8F;
constexpr unsigned char kFirstContinuation = 0x80, kLastContinuation = 0xBF;
constexpr int kPayloadBits = 6;  // bits a continuation byte carries
constexpr unsigned char kPayloadMask = 0x3F;

}  // namespace

int utf8_unit_length(unsigned char lead) {
    if (lead < kFirstTwoByteLead) return 1;
    if (lead < kFirstThreeByteLead) return 2;
    if (lead < kFirstFourByteLead) return 3;
    if (lead < kFirstFiveByteLead) return 4;
    if (lead < kFirstSixByteLead) return 5;
    return kUtf8MaxUnitBytes;
}

int utf8_decode(const unsigned char *bytes, size_t available, uint32_t *cp) {
    const unsigned char lead = bytes[0];
    if (lead < kFirstContinuation) {
        if (cp != nullptr) *cp = lead;
        return 1;
    }
    if (lead < kFirstCharacterLead || lead > kLastCharacterLead) return 0;
    const int length = utf8_unit_length(lead);
    if ((size_t)length > available) return 0;
    unsigned char second_min = kFirstContinuation;
    unsigned char second_max = kLastContinuation;
    if (lead == kOverlongThreeLead) second_min = kThreeAfterOverlong;
    if (lead == kSurrogateLead) second_max = kLastBeforeSurrogates;
    if (lead == kOverlongFourLead) second_min = kFourAfterOverlong;
    if (lead == kLastFourLead) second_max = kLastBeforeBeyond;
    if (bytes[1] < second_min || bytes[1] > second_max) return 0;
    uint32_t value = lead & (0x7Fu >> length);
    for (int i = 1; i < length; i++) {
        if (!utf8_is_continuation(bytes[i])) return 0;
        value = (value << kPayloadBits) | (bytes[i] & kPayloadMask);
    }
    if (cp != nullptr) *cp = value;
    return length;
}

size_t utf8_cut_length(const char *text, size_t length) {
    if (length == 0) return 0;
    size_t lead = length - 1;
    while (lead > 0 && length - lead < (size_t)kUtf8MaxBytes &&
           utf8_is_continuation((unsigned char)text[lead]))
        lead--;
    const unsigned char byte = (unsigned char)text[lead];
    if (byte < kFirstTwoByteLead || byte >= kFirstFiveByteLead) return length;
    return lead + (size_t)utf8_unit_length(byte) > length ? lead : length;
}
