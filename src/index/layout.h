// The byte layouts of the index files, shared by their readers (the search)
// and their writers (the indexer): file names, field widths and offsets, and
// the limits a reader keeps. Nothing here depends on the search context.
//
// Files of an index directory:
//   vesk_pageinfo.vdat    one binary record per page (fixed fields, category
//                         bitmap, meta values), back to back, no header
//   vesk_pagedata.vdat    one text line per page: URL|title|description|image|
//   vesk_dictionary.vdat  one base line "word offset count" per word id, each
//                         followed by its variant lines
//   vesk_wordmap.vdat     per word: u32 count, then 10-byte posting records
//   vesk_pagetext.vdat    DictIDLen-byte records (word id, variant) per token
//   vesk_spelling.vdat    "KEY id [id [id]]" lines sorted by key
//   vesk_recommended.vdat "keywords page" lines
//   vesk_autocomplete.vdat one suggestion a line
#pragma once

#include <stddef.h>
#include <stdint.h>

// ---- file names (below the index directory) ----
constexpr char kSettingsFileName[] = "settings.vdat";
constexpr char kPageInfoFileName[] = "vesk_pageinfo.vdat";
constexpr char kPageDataFileName[] = "vesk_pagedata.vdat";
constexpr char kPageTextFileName[] = "vesk_pagetext.vdat";
constexpr char kRecommendedFileName[] = "vesk_recommended.vdat";
constexpr char kAutocompleteFileName[] = "vesk_autocomplete.vdat";
constexpr char kTemplateFileName[] = "search_template.html";

// ---- dictionary ----
constexpr char kDictionaryFileName[] = "vesk_dictionary.vdat";       // below g_base_directory
constexpr int kDictionaryChunkSize = 32000;                          // line window of the format
constexpr int kDictionaryReadBufferSize = kDictionaryChunkSize + 1;  // window and a spare byte
constexpr int kDictionaryMaxLineSize = kDictionaryChunkSize - 1;  // longest line, its LF included
constexpr int kVariantPoolBytesPerVariant = 10;  // variant pool per NumVariants when no size is set
constexpr int kMaxVariantEntrySize = 400;        // a variant's length + 1 above this is not stored

// Page-info record layouts: fixed fields, then the category bitmap, then the
// meta values. Offsets in bytes from the record's start.
constexpr int kPageInfoSmallLengthSize = 2;      // u16 record length (small layout)
constexpr int kPageInfoBigLengthSize = 4;        // u32 record length (big layout)
constexpr int kPageInfoSmallFixedSize = 17;      // small layout: bytes before the bitmap
constexpr int kPageInfoBigFixedSize = 19;        // big layout: bytes before the bitmap
constexpr int kPageDataOffsetSize = 5;           // u40 page-data offset
constexpr int kNoMetaOption = 0xFF;              // drop-down value of a page without one
constexpr uint32_t kNoMetaNumber = 0xFFFFFFFFu;  // numeric/money value of a page without one
constexpr int kMetaTextSmallLengthSize = 1;      // u8 length of a text value (small layout)
constexpr int kMetaTextBigLengthSize = 2;        // u16 length of a text value (big layout)
constexpr int kMetaNumberSize = 4;               // u32 numeric and money values

// Field offsets of the two page-info layouts.
constexpr int kSmallDataOffsetAt = 2, kBigDataOffsetAt = 4;
constexpr int kSmallFileSizeAt = 7, kBigFileSizeAt = 9;
constexpr int kSmallDateAt = 11, kBigDateAt = 13;
constexpr int kSmallBoostAt = 15, kBigBoostAt = 17;
constexpr int kSmallFileTypeAt = 16, kBigFileTypeAt = 18;
constexpr int kPageInfoDateSize = 4;  // u32 date

constexpr char kWordmapFileName[] = "vesk_wordmap.vdat";  // below g_base_directory
constexpr int kPageDataLineSize = 15016;        // page-data line buffer: at most 15015 bytes read
constexpr size_t kPageLineFirstRead = 1024;     // page-data bytes a line read takes first
constexpr int kPageDataFieldCount = 4;          // URL, title, description, image URL
constexpr int kPageDataUrlSize = 2085;          // URL destination: at most 2084 bytes
constexpr int kPageDataTitleSize = 513;         // title destination: at most 512 bytes
constexpr int kPageDataDescriptionSize = 2001;  // description destination: at most 2000 bytes
constexpr int kPageDataImageSize = 2085;        // image URL destination: at most 2084 bytes
constexpr int kPageTextProbeSize = 8;      // first-line probe of the page-text file (7 bytes read)
constexpr int kPageTextMinRecordSize = 2;  // smallest usable DictIDLen
constexpr int kPageTextMaxRecordSize = 5;  // largest usable DictIDLen
constexpr int kWordmapCountSize = 4;       // u32 record count of a block
constexpr int kWordmapRecordSize = 10;     // one posting record
constexpr int kWordmapPageSize = 3;        // u24 page index of a record
constexpr int kWordmapTextOffsetSize = 5;  // u40 page-text offset of a record

constexpr uint32_t kLastBoundaryId = 1;  // page-text ids 0 and 1 are page boundaries
constexpr uint32_t kFirstTokenId = 2;    // reserved tokens follow the boundaries

// Field offsets of a word-map record.
constexpr int kWordmapScoreAt = 0, kWordmapZonesAt = 1, kWordmapPageAt = 2,
              kWordmapTextOffsetAt = kWordmapPageAt + kWordmapPageSize;
static_assert(kWordmapTextOffsetAt + kWordmapTextOffsetSize == kWordmapRecordSize,
              "a word-map record is its four fields");

constexpr char kSpellingFileName[] = "vesk_spelling.vdat";  // below g_base_directory
constexpr int kSpellingKeySize = 7;            // phonetic key: at most 6 bytes and a NUL
constexpr int kSpellingIdCount = 3;            // word ids per spelling entry
constexpr int kRecommendedKeywordsSize = 504;  // keyword text: at most 503 bytes
constexpr int kMinListLineSize = 2;            // smallest usable MaxKeyWordLineLen

// ---- limits the writers keep so that the readers take everything ----
constexpr size_t kPageDataUrlMax = kPageDataUrlSize - 1;                  // 2084 bytes
constexpr size_t kPageDataTitleMax = kPageDataTitleSize - 1;              // 512 bytes
constexpr size_t kPageDataDescriptionMax = kPageDataDescriptionSize - 1;  // 2000 bytes
constexpr size_t kPageDataImageMax = kPageDataImageSize - 1;              // 2084 bytes
static_assert(kPageDataUrlMax + kPageDataTitleMax + kPageDataDescriptionMax + kPageDataImageMax +
                      kPageDataFieldCount + 1 <
                  (size_t)kPageDataLineSize,
              "a page-data line of fields within their limits is read whole");
constexpr uint32_t kMaxPages = 1u << (8 * kWordmapPageSize);    // page indexes are u24
constexpr uint64_t kMaxFileOffset40 = (1ull << 40) - 1;         // u40 offsets
constexpr int kSpellingKeyChars = kSpellingKeySize - 1;         // key bytes stored per line
constexpr size_t kMaxVariantLength = kMaxVariantEntrySize - 1;  // longest variant stored
constexpr uint32_t kPageStartId = 0;      // page-text boundary opening a page's text
constexpr uint32_t kSectionEndId = 1;     // page-text boundary between two sections of a page
constexpr int kMaxVariantNumber = 255;    // variant numbers are one byte
constexpr int kDefaultListLineSize = 32;  // MaxKeyWordLineLen when the settings give none
