/* The program's allocation functions for the allocation-failure tests: the
 * program is linked a second time with -Wl,--wrap for malloc, calloc, realloc,
 * aligned_alloc and strdup, so that every call of the program's own code
 * comes here. With SITEQUERY_FAIL_ALLOCATION=N (N >= 1) in the environment
 * the Nth call returns null and all others are served as usual; with
 * SITEQUERY_COUNT_ALLOCATIONS=path the number of calls is written to path when
 * the process ends. Not part of the program. */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

void *__real_malloc(size_t size);
void *__real_calloc(size_t count, size_t size);
void *__real_realloc(void *block, size_t size);
void *__real_aligned_alloc(size_t alignment, size_t size);

static unsigned long g_calls = 0;    /* calls so far */
static unsigned long g_failing = 0;  /* the call that fails; 0 none */
static const char *g_count_path = 0; /* where the count goes at the end */

__attribute__((constructor)) static void read_settings(void) {
    const char *failing = getenv("SITEQUERY_FAIL_ALLOCATION");
    if (failing != 0) g_failing = strtoul(failing, 0, 10);
    g_count_path = getenv("SITEQUERY_COUNT_ALLOCATIONS");
}

__attribute__((destructor)) static void write_count(void) {
    if (g_count_path == 0) return;
    char text[32];
    const int length = snprintf(text, sizeof text, "%lu\n", g_calls);
    const int fd = open(g_count_path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return;
    if (write(fd, text, (size_t)length) != length) {
        /* the test then finds no count */
    }
    close(fd);
}

/* Whether this call is the one that fails. */
static int fails(void) {
    return ++g_calls == g_failing;
}

void *__wrap_malloc(size_t size) {
    return fails() ? 0 : __real_malloc(size);
}

void *__wrap_calloc(size_t count, size_t size) {
    return fails() ? 0 : __real_calloc(count, size);
}

void *__wrap_realloc(void *block, size_t size) {
    return fails() ? 0 : __real_realloc(block, size);
}

void *__wrap_aligned_alloc(size_t alignment, size_t size) {
    return fails() ? 0 : __real_aligned_alloc(alignment, size);
}

char *__wrap_strdup(const char *text) {
    const size_t length = strlen(text) + 1;
    char *copy = (char *)__wrap_malloc(length);
    if (copy != 0) memcpy(copy, text, length);
    return copy;
}
