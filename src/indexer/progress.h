// The progress line of a run on a terminal: pages done of all, the reading
// speed and the time left, redrawn a few times a second on standard error.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

namespace indexer {

class Progress {
   public:
    // shown: whether to draw at all (a terminal and not --quiet).
    Progress(bool shown, size_t total_pages, uint64_t total_bytes, FILE *out = stderr);
    // One more file done, of `bytes` bytes.
    void step(uint64_t bytes);
    // Clears the line (the summary follows on a clean line).
    void finish();
    // Seconds since the start.
    double elapsed() const;

   private:
    void draw();
    bool shown_;
    size_t total_pages_, done_pages_ = 0;
    uint64_t total_bytes_, done_bytes_ = 0;
    FILE *out_;
    int64_t start_, last_draw_;
};

}  // namespace indexer
