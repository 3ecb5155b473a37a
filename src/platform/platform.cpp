// Linux versions of the counter, last-error and file-position interfaces.
#include "platform/platform.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

namespace {
constexpr int64_t kNanosecondsPerSecond = 1000000000;
constexpr mode_t kNewFileMode = 0666;  // as fopen creates files (less the umask)
constexpr char kTextEndOfFile = 0x1A;  // Ctrl-Z: ends a file read in text mode
int g_saved_errno = 0;  // errno of the last failing call, kept by platform_save_error
char g_empty_text[1] = {0};
}  // namespace

int64_t platform_counter() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (int64_t)now.tv_sec * kNanosecondsPerSecond + now.tv_nsec;
}

int64_t platform_counter_frequency() {
    return kNanosecondsPerSecond;
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

int platform_append_to_file(const char *path, const char *bytes, size_t length) {
    int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, kNewFileMode);
    if (fd < 0) return errno;
    int result = 0;
    // One write carries the whole text; only an interrupted or partial write
    // (a full disk, a signal) needs a second one for the rest.
    while (length > 0) {
        ssize_t written = write(fd, bytes, length);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            result = -(written < 0 ? errno : ENOSPC);
            break;
        }
        bytes += written;
        length -= (size_t)written;
    }
    close(fd);
    return result;
}
