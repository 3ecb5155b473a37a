// The progress line of a run (see progress.h).
#include "indexer/progress.h"

#include "platform/platform.h"

namespace indexer {

namespace {
constexpr double kRedrawSeconds = 0.2;  // the line is redrawn at most this often
constexpr double kMegabyte = 1024.0 * 1024.0;
}  // namespace

Progress::Progress(bool shown, size_t total_pages, uint64_t total_bytes, FILE *out)
    : shown_(shown), total_pages_(total_pages), total_bytes_(total_bytes), out_(out) {
    start_ = platform_counter();
    last_draw_ = start_;
}

double Progress::elapsed() const {
    return (double)(platform_counter() - start_) / (double)platform_counter_frequency();
}

void Progress::step(uint64_t bytes) {
    done_pages_++;
    done_bytes_ += bytes;
    if (!shown_) return;
    const int64_t now = platform_counter();
    if ((double)(now - last_draw_) / (double)platform_counter_frequency() < kRedrawSeconds) return;
    last_draw_ = now;
    draw();
}

void Progress::draw() {
    const double seconds = elapsed();
    const double rate = seconds > 0 ? (double)done_bytes_ / kMegabyte / seconds : 0;
    const double fraction = total_bytes_ > 0 ? (double)done_bytes_ / (double)total_bytes_ : 0;
    const double left = fraction > 0 ? seconds * (1 - fraction) / fraction : 0;
    fprintf(out_, "\r%zu of %zu pages  %.1f MB/s  %d:%02d left   ", done_pages_, total_pages_, rate,
            (int)left / 60, (int)left % 60);
    fflush(out_);
}

void Progress::finish() {
    if (!shown_) return;
    fprintf(out_, "\r%60s\r", "");
    fflush(out_);
}

}  // namespace indexer
