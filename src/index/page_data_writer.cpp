// Writes page-data lines: URL "|" title "|" description "|" image URL "|",
// then a tail the reader ignores, then LF. A field cannot hold "|" (there is
// no escape) or a NUL (it would end the line the reader sees) and the reader delivers at most 2084,
// 512, 2000 and 2084 bytes of the four fields.
#include "index/index_writer.h"

namespace {

bool field_fits(const std::string &text, size_t limit, bool bar_allowed) {
    if (text.size() > limit) return false;
    for (char ch : text)
        if (ch == '\n' || ch == '\r' || ch == '\0' || (ch == '|' && !bar_allowed)) return false;
    return true;
}

}  // namespace

bool append_page_data_line(std::string &out, const std::string &url, const std::string &title,
                           const std::string &description, const std::string &image,
                           const std::string &tail, std::string *error) {
    const bool fits =
        field_fits(url, kPageDataUrlMax, false) && field_fits(title, kPageDataTitleMax, false) &&
        field_fits(description, kPageDataDescriptionMax, false) &&
        field_fits(image, kPageDataImageMax, false) && field_fits(tail, kPageDataLineSize, true);
    if (!fits) {
        if (error != nullptr)
            *error = "a page-data field is too long or holds '|', NUL or a line end";
        return false;
    }
    append_page_data_line_unchecked(out, url, title, description, image, tail);
    return true;
}

void append_page_data_line_unchecked(std::string &out, const std::string &url,
                                     const std::string &title, const std::string &description,
                                     const std::string &image, const std::string &tail) {
    out.append(url).append(1, '|').append(title).append(1, '|').append(description);
    out.append(1, '|').append(image).append(1, '|').append(tail).append(1, '\n');
}
