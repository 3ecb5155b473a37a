// Linux versions of the counter, last-error and file-position interfaces.
#include "platform/platform.h"

#include <errno.h>
#include <limits.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define SITEQUERY_HEAP_ONLY 1  // the sanitizer checks bounds of heap blocks only
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SITEQUERY_HEAP_ONLY 1
#endif
#endif
#if defined(__GLIBC__) && !defined(SITEQUERY_HEAP_ONLY)
#if __GLIBC_PREREQ(2, 33)
#include <malloc.h>
#define SITEQUERY_HUGE_HEAP 1  // the C library's heap can be laid out in huge pages
#endif
#endif

namespace {
constexpr int64_t kNanosecondsPerSecond = 1000000000;
constexpr char kTextEndOfFile = 0x1A;  // Ctrl-Z: ends a file read in text mode
int g_saved_errno = 0;  // errno of the last failing call, kept by platform_save_error
char g_empty_text[1] = {0};

// A mapped block starts with a header that keeps the mapping's length (0 for
// a small block taken from the heap); the caller's bytes follow it.
constexpr size_t kMappedHeaderSize = 16;  // keeps the caller's bytes 16-byte aligned
// Below this size a heap block costs less than a mapping of its own.
constexpr size_t kMappedMinimumSize = 64 * 1024;
// From this size on a block is laid out in whole huge pages: one fault maps
// 2 MB, where 4 KB pages would take 512 of them (each costly, above all in a
// virtual machine), and a process that lives for one request touches every
// page of its tables only once.
constexpr size_t kHugePageSize = 2 * 1024 * 1024;
constexpr size_t kHugeMinimumSize = kHugePageSize / 4;
// A rest of a large block past its last whole huge page that is shorter than
// this stays in small pages: mapping them costs less than clearing a whole
// huge page for it.
constexpr size_t kSmallPageRest = kHugePageSize / 8;

constexpr size_t kSmallPageSize = 4096;         // the unit of a mapping's length
constexpr uint64_t kOverlayMagic = 0x794c7630;  // f_type of an overlay file system
constexpr uint64_t kFuseMagic = 0x65735546;     // f_type of a FUSE file system

size_t round_up(size_t size, size_t unit) {
    return (size + unit - 1) / unit * unit;
}

// A private anonymous mapping of at least `length` bytes; *mapped gets its
// true length. Large ones, when `huge_pages`, start on a huge-page boundary
// and ask for huge pages (only a hint: the system may still use small pages).
// Null on failure.
[[maybe_unused]] char *map_pages(size_t length, bool huge_pages, size_t *mapped) {
    const int protection = PROT_READ | PROT_WRITE, flags = MAP_PRIVATE | MAP_ANONYMOUS;
    if (!huge_pages || length < kHugeMinimumSize || length > SIZE_MAX - 2 * kHugePageSize) {
        void *mapping = mmap(nullptr, length, protection, flags, -1, 0);
        *mapped = length;
        return mapping == MAP_FAILED ? nullptr : (char *)mapping;
    }
    // Whole huge pages, and a short rest in small pages.
    size_t huge = round_up(length, kHugePageSize);
    if (huge - length > kHugePageSize - kSmallPageRest) huge -= kHugePageSize;
    const size_t rounded = huge > length ? huge : round_up(length, kSmallPageSize);
    const size_t span = rounded + kHugePageSize;  // room to move the start to a boundary
    void *mapping = mmap(nullptr, span, protection, flags, -1, 0);
    if (mapping == MAP_FAILED) return nullptr;
    char *raw = (char *)mapping;
    char *start = raw + (kHugePageSize - (uintptr_t)raw % kHugePageSize) % kHugePageSize;
    if (start > raw) munmap(raw, (size_t)(start - raw));
    char *const end = start + rounded;
    if (raw + span > end) munmap(end, (size_t)(raw + span - end));
#ifdef MADV_HUGEPAGE
    madvise(start, huge, MADV_HUGEPAGE);
#endif
    *mapped = rounded;
    return start;
}

// The heap of a process that serves one request and ends, once it starts
// real work: laid out so that every later block below kHeapBlockLimit lies in
// huge pages. One fault then maps 2 MB of heap, where the blocks of a search
// would otherwise fault in page by page (each page costly to map and unmap,
// above all in a virtual machine).
// Larger blocks get mappings of their own. A small site's dictionary (its
// text and entry table) still fits below it, beside the search's other blocks.
constexpr size_t kHeapBlockLimit = 2 * 1024 * 1024;
// Heap laid out at once (unused parts cost nothing).
constexpr size_t kHeapReserve = 8 * 1024 * 1024;
#ifdef SITEQUERY_HUGE_HEAP
bool g_huge_heap = false;  // the layout succeeded
#endif
bool g_heap_laid_out = false;  // the layout was tried

void lay_out_heap_in_huge_pages() {
#ifdef SITEQUERY_HUGE_HEAP
    // While the heap is laid out blocks of up to two huge pages come from it;
    // it grows by the whole reserve at once and never shrinks.
    if (mallopt(M_MMAP_THRESHOLD, (int)(2 * kHugePageSize)) == 0 ||
        mallopt(M_TRIM_THRESHOLD, INT_MAX) == 0 || mallopt(M_TOP_PAD, (int)kHeapReserve) == 0)
        return;
    // The heap's free end (its last block) runs up to the break. A block
    // that is never touched nor freed fills it up to just before the next
    // huge-page boundary, so that the free end's header lies before the
    // boundary and every later block behind it. Nothing may be written behind
    // the boundary before it is marked for huge pages: a small page there
    // would keep its 2 MB in small pages.
    // The filling block is at least half a huge page: a smaller one could be
    // served from a block freed earlier elsewhere in the heap, and the space
    // before the boundary would stay free.
    constexpr uintptr_t kHeader = 2 * sizeof(size_t);  // a block's header
    constexpr uintptr_t kSmallestFill = kHugePageSize / 2;
    const uintptr_t free_end = (uintptr_t)sbrk(0) - mallinfo2().keepcost;
    uintptr_t boundary = (free_end + kHeader + kHugePageSize - 1) / kHugePageSize * kHugePageSize;
    if (boundary - kHeader - free_end < kSmallestFill) boundary += kHugePageSize;
    const uintptr_t fill = (uintptr_t)malloc(boundary - kHeader - free_end - sizeof(size_t));
    if (fill < free_end || fill >= boundary) return;  // not taken from the free end
    mallopt(M_MMAP_THRESHOLD, (int)kHeapBlockLimit);
    const uintptr_t heap_end = (uintptr_t)sbrk(0);
    if (heap_end < boundary + kHugePageSize) return;
    const size_t huge = (heap_end - boundary) / kHugePageSize * kHugePageSize;
    g_huge_heap = madvise((void *)boundary, huge, MADV_HUGEPAGE) == 0;
#endif
}

#ifndef SITEQUERY_HEAP_ONLY
// Whether a block of size bytes goes to the huge-page heap.
bool in_huge_heap(size_t size) {
#ifdef SITEQUERY_HUGE_HEAP
    return g_huge_heap && size < kHeapBlockLimit;
#else
    (void)size;
    return false;
#endif
}
#endif

// A block of size bytes in a mapping of its own (see map_pages), whose first
// `prefault` bytes are mapped at once; its header keeps the mapping's length.
// Null on failure.
[[maybe_unused]] void *mapped_block(size_t size, bool huge_pages, size_t prefault) {
    size_t length;
    char *mapping = map_pages(kMappedHeaderSize + size, huge_pages, &length);
    if (mapping == nullptr) return nullptr;
#ifdef MADV_POPULATE_WRITE
    // Only a hint: where the system cannot do it, the pages come one by one.
    if (prefault > 0)
        madvise(mapping, kMappedHeaderSize + (prefault < size ? prefault : size),
                MADV_POPULATE_WRITE);
#else
    (void)prefault;
#endif
    memcpy(mapping, &length, sizeof length);
    return mapping + kMappedHeaderSize;
}

// A heap block behind a header that marks it as one (length 0); zero-filled
// when `zeroed`, else its bytes are undefined.
void *heap_block(size_t size, bool zeroed = true) {
    char *block = zeroed ? (char *)calloc(1, kMappedHeaderSize + size)
                         : (char *)malloc(kMappedHeaderSize + size);
    if (block == nullptr) return nullptr;
    if (!zeroed) memset(block, 0, kMappedHeaderSize);
    return block + kMappedHeaderSize;
}
}  // namespace

int64_t platform_counter() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (int64_t)now.tv_sec * kNanosecondsPerSecond + now.tv_nsec;
}

int64_t platform_counter_frequency() {
    return kNanosecondsPerSecond;
}

UtcTime platform_utc_time(int64_t seconds) {
    constexpr int64_t kSecondsPerDay = 86400;
    constexpr int kSecondsPerHour = 3600, kSecondsPerMinute = 60;
    constexpr int kThursday = 4;  // 1970-01-01
    constexpr int kWeek = 7;
    // Years counted from March 1, so that a leap day ends its year; months
    // from March come in runs of five that last 153 days.
    constexpr int64_t kDaysFromMarch0000 = 719468;  // 0000-03-01 to 1970-01-01
    constexpr int64_t kDaysPerEra = 146097, kYearsPerEra = 400;
    constexpr int64_t kDaysPerCentury = 36524, kDaysPer4Years = 1461, kDaysPerYear = 365;
    constexpr int64_t kDaysPer5Months = 153, kMonthsPerRun = 5;
    constexpr int kMarch = 2, kMonthsFromMarchToDecember = 10, kFebruary = 1;
    UtcTime t;
    const int64_t days = seconds / kSecondsPerDay;
    const int clock = (int)(seconds % kSecondsPerDay);
    t.hour = clock / kSecondsPerHour;
    t.minute = clock % kSecondsPerHour / kSecondsPerMinute;
    t.second = clock % kSecondsPerMinute;
    t.weekday = (int)((days + kThursday) % kWeek);
    const int64_t shifted = days + kDaysFromMarch0000;
    const int64_t era = shifted / kDaysPerEra;
    const int64_t day_of_era = shifted - era * kDaysPerEra;
    const int64_t year_of_era = (day_of_era - day_of_era / (kDaysPer4Years - 1) +
                                 day_of_era / kDaysPerCentury - day_of_era / (kDaysPerEra - 1)) /
                                kDaysPerYear;
    const int64_t day_of_year =
        day_of_era - (kDaysPerYear * year_of_era + year_of_era / 4 - year_of_era / 100);
    const int64_t run_month = (kMonthsPerRun * day_of_year + 2) / kDaysPer5Months;
    t.day = (int)(day_of_year - (kDaysPer5Months * run_month + 2) / kMonthsPerRun + 1);
    t.month =
        (int)(run_month < kMonthsFromMarchToDecember ? run_month + kMarch
                                                     : run_month - kMonthsFromMarchToDecember);
    t.year = year_of_era + era * kYearsPerEra + (t.month <= kFebruary ? 1 : 0);
    return t;
}

void platform_save_error() {
    g_saved_errno = errno;
}

void platform_clear_error() {
    g_saved_errno = 0;
}

char *platform_last_error_text() {
    const char *text = strerror(g_saved_errno);
    if (text == nullptr) text = "";
    size_t length = strlen(text);
    char *copy = (char *)malloc(length + 1);
    if (copy == nullptr) return g_empty_text;
    memcpy(copy, text, length + 1);
    return copy;
}

void platform_free_error_text(char *text) {
    if (text != g_empty_text) free(text);
}

int platform_seek(FILE *file, int64_t offset) {
    return fseeko(file, (off_t)offset, SEEK_SET);
}

int64_t platform_tell(FILE *file) {
    return (int64_t)ftello(file);
}

char *platform_read_text_line(char *buffer, int size, FILE *file) {
    if (fgets(buffer, size, file) == nullptr) return nullptr;
    size_t length = strlen(buffer);
    // A Ctrl-Z ends a text file: keep what stands before it and read no further.
    char *end_mark = (char *)memchr(buffer, kTextEndOfFile, length);
    if (end_mark != nullptr) {
        *end_mark = '\0';
        length = (size_t)(end_mark - buffer);
        fseeko(file, 0, SEEK_END);
        if (length == 0) return nullptr;
    }
    if (length >= 2 && buffer[length - 2] == '\r' && buffer[length - 1] == '\n') {
        buffer[length - 2] = '\n';
        buffer[length - 1] = '\0';
    } else if (end_mark == nullptr && length >= 1 && buffer[length - 1] == '\r') {
        // The piece ended between a CR and its LF: the pair still becomes one LF.
        int next = getc(file);
        if (next == '\n')
            buffer[length - 1] = '\n';
        else if (next != EOF)
            ungetc(next, file);
    }
    return buffer;
}

void *platform_alloc_mapped(size_t size, size_t prefault) {
    if (size == 0 || size > SIZE_MAX - kMappedHeaderSize) return nullptr;
#ifdef SITEQUERY_HEAP_ONLY
    (void)prefault;
    return heap_block(size);
#else
    if (size < kMappedMinimumSize || in_huge_heap(size)) return heap_block(size);
    return mapped_block(size, true, prefault);
#endif
}

void *platform_alloc_block(size_t size, size_t prefault, bool *zeroed) {
    *zeroed = false;
    if (size == 0 || size > SIZE_MAX - kMappedHeaderSize) return nullptr;
#ifdef SITEQUERY_HEAP_ONLY
    // Any size comes from the heap: zero-filled, so that a caller never has
    // to clear a large block itself.
    (void)prefault;
    *zeroed = true;
    return heap_block(size, true);
#else
    if (size < kMappedMinimumSize || in_huge_heap(size)) return heap_block(size, false);
    *zeroed = true;
    return mapped_block(size, true, prefault);
#endif
}

void *platform_alloc_reserve(size_t size) {
    if (size == 0 || size > SIZE_MAX - kSmallPageSize) return nullptr;
#ifndef SITEQUERY_HEAP_ONLY
    // No header: writing one would map the first page of a block that the
    // request may never touch.
    size_t mapped;
    if (size >= kMappedMinimumSize) return map_pages(size, false, &mapped);
#endif
    return calloc(1, size);
}

void platform_free_reserve(void *block, size_t size) {
    if (block == nullptr) return;
#ifndef SITEQUERY_HEAP_ONLY
    if (size >= kMappedMinimumSize) {
        munmap(block, size);
        return;
    }
#else
    (void)size;
#endif
    free(block);
}

void platform_free_mapped(void *block) {
    if (block == nullptr) return;
    char *start = (char *)block - kMappedHeaderSize;
    size_t length;
    memcpy(&length, start, sizeof length);
    if (length == 0)
        free(start);
    else
        munmap(start, length);
}

namespace {
// The size a file's status reports, 0 when it reports none.
uint64_t reported_size(const struct stat &status) {
    return status.st_size > 0 ? (uint64_t)status.st_size : 0;
}
}  // namespace

bool platform_file_size(int fd, uint64_t *size) {
    struct stat status;
    *size = 0;
    if (fstat(fd, &status) != 0) {
        platform_save_error();
        return false;
    }
    *size = reported_size(status);
    return true;
}

bool platform_regular_file_size(int fd, uint64_t *size) {
    struct stat status;
    *size = 0;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return false;
    *size = reported_size(status);
    return true;
}

namespace {

#if defined(__linux__) && \
    ((defined(__x86_64__) && !defined(__ILP32__)) || defined(__i386__) || defined(__aarch64__))
#define SITEQUERY_CACHESTAT 1
constexpr long kCachestatCall = 451;  // cachestat(2), Linux 6.5 on; the same number on these

// cachestat's range and answer, as the system lays them out.
struct CachestatRange {
    uint64_t offset;
    uint64_t length;
};
struct Cachestat {
    uint64_t cached;  // pages of the range in the page cache
    uint64_t dirty;
    uint64_t writeback;
    uint64_t evicted;
    uint64_t recently_evicted;
};
#endif

// Whether some page of bytes [offset, offset + length) of fd is missing from
// the page cache; offset is a multiple of the page size. false when the
// system cannot tell: then nothing is changed.
bool some_page_missing(int fd, uint64_t offset, uint64_t length) {
#ifdef SITEQUERY_CACHESTAT
    CachestatRange range = {offset, length};
    Cachestat status = {};
    if (syscall(kCachestatCall, fd, &range, &status, 0) != 0) return false;
    const long page_size = sysconf(_SC_PAGESIZE);
    const uint64_t page = page_size > 0 ? (uint64_t)page_size : kSmallPageSize;
    return status.cached < (length + page - 1) / page;
#else
    (void)fd, (void)offset, (void)length;
    return false;
#endif
}

// Whether the page cache of fd is its own: a file of a stacked file system
// (overlay, FUSE) reports none of its pages cached whatever was read, and
// bringing it in again would be done for nothing at every request.
bool caches_its_own_pages(int fd) {
    struct statfs system;
    if (fstatfs(fd, &system) != 0) return false;
    return (uint64_t)system.f_type != kOverlayMagic && (uint64_t)system.f_type != kFuseMagic;
}

// Brings bytes [offset, offset + length) of fd, all within the file and at
// most one huge page, into the page cache through a read-only mapping that
// asks for huge pages; offset is a multiple of the huge-page size. The range's pages that are still
// cached (the system drops pages of a file one by one) would keep the large
// pieces from forming: once the mapping and its advice are in place, the
// clean ones are dropped and read back with the rest. Where the mapping or
// the advice fails, nothing is dropped and the bytes are read as usual.
void read_in_large_pieces(int fd, uint64_t offset, uint64_t length) {
#if defined(MADV_HUGEPAGE) && defined(MADV_POPULATE_READ)
    void *mapping = mmap(nullptr, (size_t)length, PROT_READ, MAP_SHARED, fd, (off_t)offset);
    if (mapping == MAP_FAILED) return;
    if (madvise(mapping, (size_t)length, MADV_HUGEPAGE) == 0) {
        // Random access: without it the first fault also reads the next 2 MB.
        madvise(mapping, (size_t)length, MADV_RANDOM);
        posix_fadvise(fd, (off_t)offset, (off_t)length, POSIX_FADV_DONTNEED);
        madvise(mapping, (size_t)length, MADV_POPULATE_READ);
    }
    munmap(mapping, (size_t)length);
#else
    (void)fd, (void)offset, (void)length;
#endif
}

}  // namespace

void platform_cache_in_large_pieces(int fd, uint64_t size) {
    if (size == 0 || !some_page_missing(fd, 0, size)) return;
    // Region by region: only those with pages missing are read again, and
    // no more than 2 MB of the file is mapped at a time.
    CachedRegions regions{};
    platform_cache_range_in_large_pieces(fd, 0, size, &regions);
}

void platform_cache_range_in_large_pieces(int fd, uint64_t offset, uint64_t length,
                                          CachedRegions *regions) {
    if (regions->file_size == 0) {
        // Taken once; the caller's saved error is left alone.
        struct stat status;
        if (fstat(fd, &status) != 0) return;
        regions->file_size = reported_size(status) + 1;
    }
    const uint64_t size = regions->file_size - 1;
    if (length == 0 || offset >= size) return;
    const uint64_t end = length < size - offset ? offset + length : size;
    for (uint64_t region = offset / kHugePageSize; region <= (end - 1) / kHugePageSize; region++) {
        uint64_t &known = regions->known[region % kCachedRegionSlots];
        if (known == region + 1) continue;
        known = region + 1;
        const uint64_t start = region * kHugePageSize;
        const uint64_t span = size - start < kHugePageSize ? size - start : kHugePageSize;
        if (!some_page_missing(fd, start, span)) continue;
        if (regions->own_cache == 0) regions->own_cache = caches_its_own_pages(fd) ? 1 : 2;
        if (regions->own_cache == 1) read_in_large_pieces(fd, start, span);
    }
}

int platform_read_file_into(int fd, char *buffer, size_t size, size_t *filled) {
    *filled = 0;
    platform_cache_in_large_pieces(fd, size);
    while (*filled < size) {
        const ssize_t got = read(fd, buffer + *filled, size - *filled);
        if (got == 0) break;  // the file became shorter: what was read is the file
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            platform_save_error();
            return kWholeFileReadError;
        }
        *filled += (size_t)got;
    }
    // A file that reports size 0 may still hold bytes (or refuse reading, like
    // a directory): one more read tells.
    if (size == 0 && read(fd, buffer, 1) < 0) {
        platform_save_error();
        return kWholeFileReadError;
    }
    return kWholeFileRead;
}

int64_t platform_read_at(int fd, void *buffer, size_t size, int64_t offset) {
    size_t filled = 0;
    while (filled < size) {
        const ssize_t got =
            pread(fd, (char *)buffer + filled, size - filled, (off_t)(offset + (int64_t)filled));
        if (got == 0) break;
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            platform_save_error();
            return -1;
        }
        filled += (size_t)got;
    }
    return (int64_t)filled;
}

int platform_use_huge_heap() {
    if (!g_heap_laid_out) {
        g_heap_laid_out = true;
        lay_out_heap_in_huge_pages();
    }
#ifdef SITEQUERY_HUGE_HEAP
    return g_huge_heap ? kHugeHeapLaidOut : kHugeHeapRefused;
#else
    return kHugeHeapUnavailable;
#endif
}

void *platform_malloc_prefaulted(size_t size, bool zeroed) {
    if (size == 0) return nullptr;
#ifndef SITEQUERY_HEAP_ONLY
    if (size >= kMappedMinimumSize && !in_huge_heap(size)) {
        const bool huge = size >= kHugeMinimumSize;
        const size_t unit = huge ? kHugePageSize : (size_t)sysconf(_SC_PAGESIZE);
        if (size <= SIZE_MAX - unit) {
            const size_t rounded = round_up(size, unit);
            void *block = aligned_alloc(unit, rounded);
            if (block == nullptr) return nullptr;
#ifdef MADV_HUGEPAGE
            if (huge) madvise(block, rounded, MADV_HUGEPAGE);
#endif
#ifdef MADV_POPULATE_WRITE
            madvise(block, rounded, MADV_POPULATE_WRITE);
#endif
            // A heap block may have been used before: only a fresh mapping is zero.
            if (zeroed) memset(block, 0, size);
            return block;
        }
    }
#endif
    return zeroed ? calloc(1, size) : malloc(size);
}

int platform_read_whole_file(int fd, char **text, size_t *size) {
    *text = nullptr;
    *size = 0;
    uint64_t file_size;
    if (!platform_file_size(fd, &file_size)) return kWholeFileReadError;
    if (file_size >= SIZE_MAX - kMappedHeaderSize) return kWholeFileNoMemory;
    char *buffer = (char *)platform_alloc_mapped((size_t)file_size + 1, (size_t)file_size + 1);
    if (buffer == nullptr) return kWholeFileNoMemory;
    size_t filled = 0;
    if (platform_read_file_into(fd, buffer, (size_t)file_size, &filled) != kWholeFileRead) {
        platform_free_mapped(buffer);
        return kWholeFileReadError;
    }
    buffer[filled] = '\0';
    *text = buffer;
    *size = filled;
    return kWholeFileRead;
}
