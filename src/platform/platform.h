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

// Reads one line of a text-mode file like fgets (at most size - 1 bytes, the
// line feed included when it fits) and turns a CR LF line end into LF, also
// when the piece ends between the CR and the LF. A Ctrl-Z (0x1A) ends the file:
// the text before it is returned and later reads find the end of the file.
// Returns buffer, or null at the end of the file or on a read error.
char *platform_read_text_line(char *buffer, int size, FILE *file);

// Ends the process with status `code` once what it wrote to standard output
// is flushed: for the answers that end the request where they stand. The one
// place the program ends itself; every other failure returns up the stack.
[[noreturn]] void platform_end_process(int code);
// In a build for measuring memory (SITEQUERY_MEMORY_REPORT), writes the
// process's private dirty memory, the Private_Dirty line of
// /proc/self/smaps_rollup, to standard error; in any other build does nothing.
void platform_report_private_memory();

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

// Reads up to size bytes of the open file fd at offset into buffer without
// moving the file's position (repeated for short reads until size or the end
// of the file). The bytes read, or -1 when the file cannot be read at an
// offset (the system's error is saved).
int64_t platform_read_at(int fd, void *buffer, size_t size, int64_t offset);
// ---- The request's arena (arena.cpp) ----
// Zero-filled memory of size bytes, 64-byte aligned, for a table that a
// request fills at once: from the request's arena, a mapping of its own in
// huge pages where the system grants them (one fault for 2 MB of tables),
// or for a block larger than the arena's rest a mapping of its own. Null
// when size is 0 or memory is exhausted. Free it with platform_arena_free.
void *platform_arena_alloc(size_t size);
// Frees a block of platform_arena_alloc (null-safe): a block of its own
// mapping is unmapped; the arena's last block is handed out again; any other
// block's space stays taken until the process ends.
void platform_arena_free(void *block);
// Zero-filled pages of their own for a block of size bytes that may stay
// mostly untouched (a pool sized for the worst case): nothing is written to
// them here, so pages never used cost neither memory nor a fault. Null when
// size is 0 or no mapping can be had. Free it with platform_unmap_zeroed and
// the same size.
void *platform_map_zeroed(size_t size);
// Frees a block of platform_map_zeroed of size bytes (null-safe).
void platform_unmap_zeroed(void *block, size_t size);

// Outcome of platform_read_whole_file.
enum WholeFileResult {
    kWholeFileRead = 0,       // *text holds the file
    kWholeFileReadError = 1,  // a read failed (the system's error is saved)
    kWholeFileNoMemory = 2,   // the file does not fit in memory
};
// Reads the whole open file fd with one read of its size (repeated only for
// short reads) into a heap block that the caller frees with free(): *text
// gets the block, *size the bytes read, and a NUL follows them. On failure
// *text is null.
int platform_read_whole_file(int fd, char **text, size_t *size);
// Size of the open file fd in *size (0 when it reports none). false when it
// cannot be asked (the system's error is saved).
bool platform_file_size(int fd, uint64_t *size);
// Whether the open file fd is a regular file, which reads at any offset; its
// size in *size when it is. The system's error is not saved.
bool platform_regular_file_size(int fd, uint64_t *size);
// Reads up to `size` bytes of the open file fd (whose size is `size`) into
// buffer, which has room for at least size + 1 bytes, with one read repeated
// only for short reads; *filled gets the bytes read (fewer when the file
// became shorter). A file of size 0 is read once more, so that one that
// refuses reading (a directory) is still an error. kWholeFileRead or
// kWholeFileReadError (the system's error saved).
int platform_read_file_into(int fd, char *buffer, size_t size, size_t *filled);
