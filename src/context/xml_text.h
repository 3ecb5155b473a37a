// XML text: character data and attribute values that are well-formed whatever
// the index, the request or the settings hold, through one escaper with two
// entry points; and the small XML checks the answers need.
#pragma once

#include <stddef.h>

constexpr int kXmlEscapeGrowth = 5;   // xml_escape_text writes at most 5 bytes per input byte
constexpr int kXmlLiteralGrowth = 6;  // xml_escape_literal at most 6 ("&quot;")

// Copies `length` bytes of text to out as XML character data that is
// well-formed whatever the text holds: "&amp;", "&lt;", "&gt;", "&quot;",
// "&apos;" and numeric references to characters of XML are kept; the named
// entities of HTML 4 become numeric references; every other '&' becomes
// "&amp;" and every '<' "&lt;" (unless keep_tags: the program's own markup);
// '>' stays, except after "]]"; control bytes other than tab, LF and CR are
// dropped; with utf8, each byte that starts no well-formed UTF-8 character of
// XML becomes U+FFFD. out must have room for kXmlEscapeGrowth * length + 1
// bytes; it is terminated. Returns the bytes written.
size_t xml_escape_text(char *out, const char *text, size_t length, bool utf8, bool keep_tags);
// The same for a value shown as it stands (an attribute value or element text
// of the settings echo): nothing in it is a reference or markup, so every '&',
// '<', '>' and '"' is escaped ("&amp;", "&lt;", "&gt;", "&quot;"); control
// bytes and, with utf8, bytes of no character are handled as above. out must
// have room for kXmlLiteralGrowth * length + 1 bytes. Returns the bytes written.
size_t xml_escape_literal(char *out, const char *text, size_t length, bool utf8);
// Whether a charset name means UTF-8 ("UTF-8" or "UTF8", any case).
bool charset_is_utf8(const char *charset);
// Whether name can follow a namespace prefix as an XML element name: ASCII
// letters, '_' and bytes above 127 anywhere, digits, '-' and '.' after the
// first byte.
bool is_xml_name_part(const char *name);
