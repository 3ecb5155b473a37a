// Writes page-info records. Layout (little-endian, no padding), small / big:
//   record length   u16 at 0 / u32 at 0, the whole record
//   page-data offset u40 at 2 / 4
//   file size       u32 at 7 / 9
//   date            u32 at 11 / 13
//   boost           u8 at 15 / 17
//   file type       u8 at 16 / 18
//   category bitmap NumCatBytes bytes from 17 / 19 (category c: bit c%8 of byte c/8)
//   meta values     per field: text = length (u8 / u16) + bytes; drop-down = u8
//                   (0xFF none); multiple = u8 count + u8 each; others u32
//                   (0xFFFFFFFF none)
#include <string.h>

#include "index/index_writer.h"

namespace {

void put_le(std::string &out, uint64_t value, int width) {
    for (int i = 0; i < width; i++) out += (char)(uint8_t)(value >> (8 * i));
}

bool refuse(std::string *error, const char *message) {
    if (error != nullptr) *error = message;
    return false;
}

bool put_meta_value(std::string &record, int type, const MetaValueOut &value, bool big,
                    std::string *error) {
    switch (type) {
        case kMetaTypeText: {
            const size_t size = value.present ? value.text.size() : 0;
            if (size > (big ? 0xFFFFu : 0xFFu))
                return refuse(error, "a meta text is longer than its length field holds");
            put_le(record, size, big ? kMetaTextBigLengthSize : kMetaTextSmallLengthSize);
            if (value.present) record += value.text;
            return true;
        }
        case kMetaTypeDropDown:
            if (value.present && (value.option < 0 || value.option >= kNoMetaOption))
                return refuse(error, "a drop-down option is outside 0 to 254");
            record += (char)(value.present ? value.option : kNoMetaOption);
            return true;
        case kMetaTypeMultiple: {
            const size_t count = value.present ? value.options.size() : 0;
            if (count > 0xFF) return refuse(error, "more than 255 options of a meta value");
            record += (char)count;
            for (size_t i = 0; i < count; i++) {
                if (value.options[i] < 0 || value.options[i] > 0xFF)
                    return refuse(error, "an option is outside 0 to 255");
                record += (char)value.options[i];
            }
            return true;
        }
        default:
            put_le(record, value.present ? value.number : kNoMetaNumber, kMetaNumberSize);
            return true;
    }
}

}  // namespace

bool append_page_info_record(std::string &out, const PageInfoLayout &layout,
                             const PageInfoOut &page, std::string *error) {
    if (page.data_offset > kMaxFileOffset40)
        return refuse(error, "a page-data offset does not fit 40 bits");
    const int length_size = layout.big ? kPageInfoBigLengthSize : kPageInfoSmallLengthSize;
    std::string record;
    put_le(record, 0, length_size);  // set below
    put_le(record, page.data_offset, kPageDataOffsetSize);
    put_le(record, page.file_size, 4);
    put_le(record, page.date, kPageInfoDateSize);
    record += (char)page.boost;
    record += (char)page.file_type;
    static_assert(kSmallFileTypeAt + 1 == kPageInfoSmallFixedSize, "small fixed fields");
    static_assert(kBigFileTypeAt + 1 == kPageInfoBigFixedSize, "big fixed fields");
    std::string bitmap((size_t)(layout.category_bytes > 0 ? layout.category_bytes : 0), '\0');
    for (int c : page.categories) {
        if (c < 0 || (size_t)c / 8 >= bitmap.size())
            return refuse(error, "a category number lies outside the category bitmap");
        bitmap[(size_t)c / 8] = (char)(bitmap[(size_t)c / 8] | (1 << (c % 8)));
    }
    record += bitmap;
    for (size_t f = 0; f < layout.meta_types.size(); f++) {
        const MetaValueOut none;
        const MetaValueOut &value = f < page.meta.size() ? page.meta[f] : none;
        if (!put_meta_value(record, layout.meta_types[f], value, layout.big, error)) return false;
    }
    if (!layout.big && record.size() > 0xFFFF)
        return refuse(error, "a page-info record is longer than the small layout holds");
    if (!fits_in_32_bits(record.size())) return refuse(error, "a page-info record is too long");
    for (int i = 0; i < length_size; i++)
        record[(size_t)i] = (char)(uint8_t)(record.size() >> (8 * i));
    out += record;
    return true;
}
