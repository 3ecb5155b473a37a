// The request's arena: the tables a request fills at once (the dictionary,
// the page information, the scores, the spelling list, word-map records)
// come from one private anonymous mapping of its own, taken by bump
// allocation and marked for huge pages. One fault then maps 2 MB of tables,
// where 4 KB pages would take 512 of them, each costly above all in a
// virtual machine. The huge pages are only a hint: where the system refuses
// them the tables lie in small pages as they would on the heap. A block too
// large for the arena's rest gets a mapping of its own. Under the address
// sanitizer the blocks come from the heap, whose bounds it checks.
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>

#include "platform/platform.h"

#if defined(__SANITIZE_ADDRESS__)
#define SITEQUERY_ARENA_ON_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SITEQUERY_ARENA_ON_HEAP 1
#endif
#endif

#ifndef SITEQUERY_ARENA_ON_HEAP
namespace {

constexpr size_t kHugePageSize = 2 * 1024 * 1024;
// Address space the arena takes at its first block; untouched parts cost
// nothing. Larger than the tables of a large site's request.
constexpr size_t kArenaReserve = (sizeof(void *) >= 8 ? 256 : 64) * 1024 * 1024;
// Each block starts behind a header: the length of its own mapping (0 for a
// block in the arena) and the block's size. Keeps the caller's bytes 64-byte
// aligned, as vector loads like.
constexpr size_t kHeaderSize = 64;
struct BlockHeader {
    size_t own_mapping;  // length of the block's own mapping, or 0
    size_t size;         // bytes for the caller
};
static_assert(sizeof(BlockHeader) <= kHeaderSize, "the header fits its room");

char *g_arena = nullptr;        // the reserve, huge-page aligned; null until the first block
bool g_arena_refused = false;   // the reserve could not be mapped: every block maps its own
size_t g_top = 0;               // bytes of the arena handed out
size_t g_touched = 0;           // bytes of the arena ever handed out (beyond: still zero)
char *g_last_block = nullptr;   // the last block handed out (its header), for taking it back
size_t g_last_block_start = 0;  // g_top before it

size_t round_up(size_t size, size_t unit) {
    return (size + unit - 1) / unit * unit;
}

// A private anonymous mapping of length bytes starting on a huge-page
// boundary and marked for huge pages; null when it cannot be had.
char *map_huge_aligned(size_t length) {
    if (length > SIZE_MAX - kHugePageSize) return nullptr;
    const size_t span = length + kHugePageSize;
    void *mapping = mmap(nullptr, span, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (mapping == MAP_FAILED) return nullptr;
    char *raw = (char *)mapping;
    char *start = raw + (kHugePageSize - (uintptr_t)raw % kHugePageSize) % kHugePageSize;
    if (start > raw) munmap(raw, (size_t)(start - raw));
    char *const end = start + length;
    if (raw + span > end) munmap(end, (size_t)(raw + span - end));
#ifdef MADV_HUGEPAGE
    madvise(start, length, MADV_HUGEPAGE);  // a hint: refused, the pages stay small
#endif
    return start;
}

// A block of its own mapping (zero-filled by the system); null without memory.
char *own_block(size_t size) {
    const size_t length = round_up(kHeaderSize + size, kHugePageSize);
    char *start = map_huge_aligned(length);
    if (start == nullptr) return nullptr;
    BlockHeader header = {length, size};
    memcpy(start, &header, sizeof header);
    return start + kHeaderSize;
}

}  // namespace
#endif

void *platform_arena_alloc(size_t size) {
#ifdef SITEQUERY_ARENA_ON_HEAP
    return size == 0 ? nullptr : calloc(1, size);
#else
    if (size == 0 || size > SIZE_MAX - 2 * kHugePageSize - kHeaderSize) return nullptr;
    if (g_arena == nullptr && !g_arena_refused) {
        g_arena = map_huge_aligned(kArenaReserve);
        g_arena_refused = g_arena == nullptr;
    }
    const size_t need = round_up(kHeaderSize + size, kHeaderSize);
    if (g_arena == nullptr || need > kArenaReserve - g_top) return own_block(size);
    char *block = g_arena + g_top;
    // Space handed out before and taken back holds old bytes.
    if (g_top < g_touched)
        memset(block, 0, (g_touched < g_top + need ? g_touched : g_top + need) - g_top);
    BlockHeader header = {0, size};
    memcpy(block, &header, sizeof header);
    g_last_block = block;
    g_last_block_start = g_top;
    g_top += need;
    if (g_top > g_touched) g_touched = g_top;
    return block + kHeaderSize;
#endif
}

void platform_arena_free(void *block) {
    if (block == nullptr) return;
#ifdef SITEQUERY_ARENA_ON_HEAP
    free(block);
#else
    char *start = (char *)block - kHeaderSize;
    BlockHeader header;
    memcpy(&header, start, sizeof header);
    if (header.own_mapping != 0) {
        munmap(start, header.own_mapping);
    } else if (start == g_last_block) {
        // The last block's space is handed out again; others stay until the
        // process ends, as a request's tables do.
        g_top = g_last_block_start;
        g_last_block = nullptr;
    }
#endif
}

void *platform_map_zeroed(size_t size) {
    if (size == 0) return nullptr;
#ifdef SITEQUERY_ARENA_ON_HEAP
    return calloc(1, size);
#else
    void *mapping = mmap(nullptr, size, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    return mapping == MAP_FAILED ? nullptr : mapping;
#endif
}

void platform_unmap_zeroed(void *block, size_t size) {
    if (block == nullptr) return;
#ifdef SITEQUERY_ARENA_ON_HEAP
    (void)size;
    free(block);
#else
    munmap(block, size);
#endif
}
