// The scan of page-text records for a phrase's words, one piece of the text
// at a time: what a scan keeps between pieces, and the scan of one piece.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Where a scan of the page text for a phrase stands between two pieces.
struct PhraseScan {
    const uint32_t *ids;      // the phrase's word ids
    uint32_t w;               // its words
    uint32_t k;               // words matched so far
    uint32_t keywords;        // NumKeywords: ids at or above it are no words
    uint32_t reserved_limit;  // DictReservedLimit: the last punctuation id
    uint64_t phrase_start;    // offset of the record where the match began
    uint64_t end;             // offset of the record that ended the scan
};
enum PhraseScanStep { kScanGoesOn = 0, kScanFound = 1, kScanEnded = 2 };

// Scans `records` page-text records of `size` bytes (2 to 5) at bytes, the
// first at file offset `offset`, going on from where scan stands: a page
// boundary ends the scan, punctuation between the words is passed over, and a
// mismatch starts again (on word 0 when the record is the phrase's first
// word). A PhraseScanStep: found (scan.phrase_start), ended at a boundary
// (scan.end), or the piece ran out with the scan going on.
int scan_piece(PhraseScan &scan, int32_t size, const uint8_t *bytes, size_t records,
               uint64_t offset);
