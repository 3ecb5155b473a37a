// Test support: the two fixture indexes of the whole-search fuzz target and
// the decoding of one fuzz input into a request against one of them. The
// fuzz target runs the request in-process; the corpus replay test runs the
// same decoded request through the real binary. Not part of the program.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <functional>
#include <string>

#include "support/index_files.h"

namespace testsupport {

// The fixture indexes: a small page-info layout with single-byte texts, and a
// big layout with UTF-8 texts and stemming on. Both have categories, a meta
// field of every type, page text with phrases, a spelling list, a recommended
// list and an autocomplete list.
enum SearchFixture { kSmallFixture = 0, kBigFixture = 1 };
constexpr int kSearchFixtureCount = 2;

// The index of fixture (kSmallFixture or kBigFixture).
IndexSpec search_fixture(int fixture);

// Input layout: one mode byte (bit 0: the big fixture, bit 1: POST), then
// the settings bytes (each variation takes its bits in table order, the
// lowest bit of each byte first), then the query string of a GET request (up
// to its first NUL, which an environment text cannot hold) or the body of a
// POST request.
constexpr uint8_t kModeBigFixture = 0x01;
constexpr uint8_t kModePost = 0x02;
constexpr size_t kSearchSettingsBytes = 10;
constexpr size_t kSearchInputHeaderSize = 1 + kSearchSettingsBytes;

// One decoded input.
struct SearchFuzzRequest {
    int fixture = kSmallFixture;
    bool post = false;
    std::string form;       // QUERY_STRING or the POST body
    SettingsSpec settings;  // the fixture's settings with the input's variations
};

// Decodes data against the settings of both fixtures (the ones build_index
// wrote, indexed by fixture). false when data is shorter than the header.
bool decode_search_input(const uint8_t *data, size_t size,
                         const SettingsSpec (&fixture_settings)[kSearchFixtureCount],
                         SearchFuzzRequest *request);

// The log file name the fixtures' settings give (in the index directory).
extern const char kSearchFuzzLogName[];

// Reports what is wrong with an XML document ("" when it is well-formed).
using XmlChecker = std::function<std::string(const std::string &document)>;
// What is wrong with the whole answer to a decoded request ("" when nothing):
// it must begin with its header; an XML answer must be a well-formed document;
// an HTML search page (page: not an autocomplete answer) must end with the
// fixture template's last line, so that nothing cut it short.
std::string search_answer_fault(const std::string &answer, bool page, const XmlChecker &xml);
// What is wrong with the search log after one request ("" when nothing): it is
// empty, or one whole line that ends in CR LF.
std::string search_log_fault(const std::string &log);

}  // namespace testsupport
