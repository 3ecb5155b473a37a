// The small platform layer: a monotonic high-resolution counter, the text of
// the last system error, 64-bit file positioning, text-mode line reading,
// files opened below a directory opened once, and memory mapped in one step
// with whole-file reads into it.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

// Current value of the monotonic counter, in counter ticks.
int64_t platform_counter();
// Ticks per second of platform_counter.
int64_t platform_counter_frequency();

// A moment of the UTC calendar.
struct UtcTime {
    int64_t year;  // e.g. 2026
    int month;     // 0 (January) to 11
    int day;       // 1 to 31
    int hour, minute, second;
    int weekday;  // 0 (Sunday) to 6
};
// The UTC calendar time of `seconds` since 1970-01-01 00:00:00 UTC (0 or
// more), as gmtime gives it, but by arithmetic alone: gmtime first sets up
// the time zone, reading the system's zone file, which a UTC date never needs.
UtcTime platform_utc_time(int64_t seconds);

// Records errno right after a failing system call, so that a later call of
// platform_last_error_text describes that failure and no other.
void platform_save_error();
// Forgets the saved error: the text becomes the system's text for "no error".
void platform_clear_error();
// Heap copy of the system's text for the saved error (strerror); never null
// unless memory is exhausted, in which case a static empty text is returned.
// Free it with platform_free_error_text.
char *platform_last_error_text();
// Frees a text of platform_last_error_text (a static empty text is ignored).
void platform_free_error_text(char *text);

// 64-bit seek from the start of the file. 0 on success, else nonzero.
int platform_seek(FILE *file, int64_t offset);
// 64-bit position of the file, or -1.
int64_t platform_tell(FILE *file);

// Reads one line of a text-mode file like fgets (at most size - 1 bytes, the
// line feed included when it fits) and turns a CR LF line end into LF, also
// when the piece ends between the CR and the LF. A Ctrl-Z (0x1A) ends the file:
// the text before it is returned and later reads find the end of the file.
// Returns buffer, or null at the end of the file or on a read error.
char *platform_read_text_line(char *buffer, int size, FILE *file);

// ---- Files below a directory opened once (directory_files.cpp) ----
// A directory for platform_open_file that takes the name as given: a relative
// name from the current directory, an absolute one from the root.
constexpr int kPlatformNameAsGiven = -100;
// Opens the directory at path for opening files below it, so that they come
// from this directory even after path has come to name another one (a
// renamed folder, a switched symlink). An empty path is the root directory,
// as "" followed by "/" and a name would name it. The descriptor, or -1 (the
// system's error is saved).
int platform_open_directory(const char *path);
// Opens name below the open directory `directory` with flags (close-on-exec
// added, retried when a signal interrupts it; a created file gets 0666 less
// the umask). Leading slashes of name are skipped, so that it stays below the
// directory as the path "<directory>/<name>" would; an empty name is no
// file. kPlatformNameAsGiven opens name as given. The descriptor, or -1 (the
// system's error is saved; a directory of -1 gives EBADF).
int platform_open_file(int directory, const char *name, int flags);
// platform_open_file for reading, as a stream (text and binary read alike
// here). Null when it cannot be opened (the system's error is saved).
FILE *platform_open_stream(int directory, const char *name);
// Closes a descriptor of platform_open_directory or platform_open_file; -1 is ignored.
void platform_close_file(int fd);
// Appends length bytes to the file name below directory (platform_open_file;
// created when missing) with one write on a descriptor opened for appending,
// so that lines written at the same time by several processes never mix. 0
// done; the errno of a failed open; minus the errno of a failed write.
int platform_append_to_file(int directory, const char *name, const char *bytes, size_t length);

// Zero-filled memory of size bytes whose first `prefault` bytes are mapped at
// once, not one page fault at a time as they are first touched (much cheaper
// for tables a request fills right away); the rest is mapped when touched.
// Null when size is 0 or memory is exhausted. Free it with
// platform_free_mapped, never with free().
void *platform_alloc_mapped(size_t size, size_t prefault);
// Memory of size bytes for a table a request fills at once: from the heap's
// huge pages when the heap is laid out in them and the block fits there
// (beside the request's other blocks, in pages that are mapped anyway), its
// contents undefined; else as platform_alloc_mapped gives it, zero-filled.
// *zeroed tells which. Null when size is 0 or memory is exhausted. Free it
// with platform_free_mapped.
void *platform_alloc_block(size_t size, size_t prefault, bool *zeroed);
// Zero-filled memory of size bytes that a request may leave untouched (a
// pool sized by the settings): from 64 KB on a mapping of its own in small
// pages, so that untouched pages cost nothing and the heap's huge pages hold
// only blocks in use. Null when size is 0 or memory is exhausted. Free it with
// platform_free_reserve and the same size.
void *platform_alloc_reserve(size_t size);
// Frees a block of platform_alloc_reserve of size bytes. Null-safe.
void platform_free_reserve(void *block, size_t size);
// Frees a block of platform_alloc_mapped or platform_alloc_block. Null-safe.
void platform_free_mapped(void *block);
// Reads up to size bytes of the open file fd at offset into buffer without
// moving the file's position (repeated for short reads until size or the end
// of the file). The bytes read, or -1 when the file cannot be read at an
// offset (the system's error is saved).
int64_t platform_read_at(int fd, void *buffer, size_t size, int64_t offset);
// Lays the heap out so that from now on its blocks below 1 MB lie in huge
// pages, when the C library and the system allow it (a process that starts
// real work calls it once; it costs a 2 MB page at the first block). Safe to
// repeat. Whether the heap lies in huge pages (a HugeHeapLayout).
enum HugeHeapLayout {
    kHugeHeapUnavailable = 0,  // not done with this C library or under the sanitizer
    kHugeHeapRefused = 1,      // tried, but the system or the heap did not allow it
    kHugeHeapLaidOut = 2,      // later heap blocks below 1 MB lie in huge pages
};
int platform_use_huge_heap();
// A heap block of size bytes that free() releases, whose pages are mapped at
// once (one step for the whole block, huge pages from 512 KB on) instead of
// one fault per page when first touched; zero-filled when `zeroed`. Meant for
// blocks that a request fills right away. Null when size is 0 or memory is
// exhausted.
void *platform_malloc_prefaulted(size_t size, bool zeroed);

// Outcome of platform_read_whole_file.
enum WholeFileResult {
    kWholeFileRead = 0,       // *text holds the file
    kWholeFileReadError = 1,  // a read failed (the system's error is saved)
    kWholeFileNoMemory = 2,   // the file does not fit in memory
};
// Reads the whole open file fd with one read of its size (repeated only for
// short reads) into a block of platform_alloc_mapped: *text gets the block,
// *size the bytes read, and a NUL follows them. On failure *text is null.
int platform_read_whole_file(int fd, char **text, size_t *size);
// Size of the open file fd in *size (0 when it reports none). false when it
// cannot be asked (the system's error is saved).
bool platform_file_size(int fd, uint64_t *size);
// Whether the open file fd is a regular file, which reads at any offset; its
// size in *size when it is. The system's error is not saved.
bool platform_regular_file_size(int fd, uint64_t *size);
// Makes sure the first `size` bytes of the open file fd come into the page
// cache in large pieces: each 2 MB region of the file (file offsets that are
// multiples of 2 MB) that holds some of them, up to the file's end, and has
// any page missing (never read, or dropped by the system one page at a time)
// is dropped and read back whole through a read-only mapping that asks for
// huge pages. The cache then keeps the file in pieces of up to 2 MB, which
// this and every later request copy several times faster than the 4 KB ones
// a plain read fills it with. When all are cached (the usual case) it costs
// one system call. Only a hint: where the system cannot tell what is cached
// (kernels before 6.5, a stacked file system such as overlay or FUSE) or
// anything fails, nothing is dropped and a later read brings the bytes in as
// usual.
void platform_cache_in_large_pieces(int fd, uint64_t size);
// What a request knows of the 2 MB regions of one open file that it reads
// in parts: those it has already made sure of, by slot. Zero-filled: nothing.
constexpr int kCachedRegionSlots = 16;
struct CachedRegions {
    uint64_t known[kCachedRegionSlots];  // region number + 1 (slot: number % slots); 0 none
    uint64_t file_size;                  // the file's size + 1 once taken; 0 not yet
    int own_cache;                       // 0 not asked yet, 1 the file's cache is its own, 2 not
};
// platform_cache_in_large_pieces for the 2 MB regions that bytes
// [offset, offset + length) of fd touch. A region is checked again only
// after another region that shares its slot was (files of more than 32 MB):
// reads within known regions cost nothing more, and the first sight of a
// region costs one system call (the first call also takes the file's size
// and keeps it in `regions`).
void platform_cache_range_in_large_pieces(int fd, uint64_t offset, uint64_t length,
                                          CachedRegions *regions);
// Reads up to `size` bytes of the open file fd (whose size is `size`) into
// buffer, which has room for at least size + 1 bytes, with one read repeated
// only for short reads; *filled gets the bytes read (fewer when the file
// became shorter). A file of size 0 is read once more, so that one that
// refuses reading (a directory) is still an error. kWholeFileRead or
// kWholeFileReadError (the system's error saved).
int platform_read_file_into(int fd, char *buffer, size_t size, size_t *filled);
