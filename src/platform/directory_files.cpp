// Opening files below a directory that was opened once: a request resolves
// its index directory at start and opens every later file through that one
// descriptor (openat), so that a folder renamed or a symlink switched while it
// runs cannot hand it files of two different indexes.
#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include "platform/platform.h"

static_assert(kPlatformNameAsGiven == AT_FDCWD, "the name-as-given marker is openat's own");

namespace {
constexpr mode_t kNewFileMode = 0666;  // as fopen creates files (less the umask)
constexpr char kRootDirectory[] = "/";

// open or openat, repeated while a signal interrupts it.
int open_retrying(int directory, const char *name, int flags) {
    int fd;
    do {
        fd = openat(directory, name, flags | O_CLOEXEC, kNewFileMode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}
}  // namespace

int platform_open_directory(const char *path) {
    const char *name = path[0] == '\0' ? kRootDirectory : path;
    const int fd = open_retrying(AT_FDCWD, name, O_RDONLY | O_DIRECTORY);
    if (fd < 0) platform_save_error();
    return fd;
}

int platform_open_file(int directory, const char *name, int flags) {
    if (directory != kPlatformNameAsGiven)
        while (*name == '/') name++;
    const int fd = open_retrying(directory, name, flags);
    if (fd < 0) platform_save_error();
    return fd;
}

FILE *platform_open_stream(int directory, const char *name) {
    const int fd = platform_open_file(directory, name, O_RDONLY);
    if (fd < 0) return nullptr;
    FILE *file = fdopen(fd, "r");
    if (file != nullptr) return file;
    platform_save_error();
    close(fd);
    return nullptr;
}

void platform_close_file(int fd) {
    if (fd >= 0) close(fd);
}

int platform_append_to_file(int directory, const char *name, const char *bytes, size_t length) {
    const int fd = platform_open_file(directory, name, O_WRONLY | O_CREAT | O_APPEND);
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
