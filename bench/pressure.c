/* Searches under memory pressure: C clients run the program's requests in a
 * loop, as many server processes at once, while an evicting process drops
 * random 16 KB pieces of the index files from the page cache every
 * millisecond (posix_fadvise DONTNEED, as memory pressure evicts pages; done
 * here only, never by the program). Prints the throughput, the p50 and p99
 * latency, the bytes read from disk meanwhile (pgpgin of /proc/vmstat, in
 * KB) and beside them the bytes the requests' reads asked for (rchar of
 * /proc/<pid>/io, taken before each request is reaped). Usage:
 *   pressure <program> <index dir> [clients] [seconds]   (default 8 and 8) */
#define _GNU_SOURCE
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

enum {
    kDefaultClients = 8,
    kDefaultSeconds = 8,
    kMostFiles = 32,
    kMostSamples = 1 << 20,      /* latencies kept, all clients together */
    kPieceSize = 16 * 1024,      /* bytes dropped at a time */
    kEvictPauseNs = 1000 * 1000, /* between two drops */
};

static const char *const kQueries[] = {
    "vesk_query=function",
    "vesk_query=adminpack",
    "vesk_query=database+index",
    "vesk_query=%22regular+expression%22",
    "vesk_query=pyth*",
    "vesk_query=tabel",
    "vesk_query=function&vesk_xml=1",
    "vesk_query=function&vesk_page=5",
};
enum { kQueryCount = sizeof kQueries / sizeof kQueries[0] };

/* What the clients share: the latencies and the bytes their requests read. */
struct Shared {
    long samples;    /* latencies written */
    long long asked; /* rchar of all requests */
    double latency[kMostSamples];
};

static double now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

/* pgpgin of /proc/vmstat: KB read from disk since boot; -1 unknown. */
static long long pages_in(void) {
    FILE *file = fopen("/proc/vmstat", "r");
    char name[64];
    long long value, found = -1;
    if (file == NULL) return -1;
    while (fscanf(file, "%63s %lld", name, &value) == 2)
        if (strcmp(name, "pgpgin") == 0) found = value;
    fclose(file);
    return found;
}

/* rchar of the exited, not yet reaped child pid; 0 unknown. */
static long long read_chars(pid_t pid) {
    char path[64], line[128];
    long long value = 0;
    snprintf(path, sizeof path, "/proc/%d/io", (int)pid);
    FILE *file = fopen(path, "r");
    if (file == NULL) return 0;
    while (fgets(line, sizeof line, file) != NULL)
        if (sscanf(line, "rchar: %lld", &value) == 1) break;
    fclose(file);
    return value;
}

/* One request of query: its seconds; the bytes it read are added to *asked. */
static double run_request(const char *program, const char *index_dir, const char *query,
                          long long *asked) {
    char variable[512];
    snprintf(variable, sizeof variable, "QUERY_STRING=%s", query);
    char *const env[] = {"REQUEST_METHOD=GET", variable, NULL};
    char *const argv[] = {(char *)program, "/I", (char *)index_dir, NULL};
    const double start = now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open("/dev/null", O_WRONLY);
        dup2(out, 1);
        execve(program, argv, env);
        _exit(127);
    }
    siginfo_t info;
    waitid(P_PID, (id_t)pid, &info, WEXITED | WNOWAIT);
    const double seconds = now() - start;
    *asked += read_chars(pid);
    waitpid(pid, NULL, 0);
    return seconds;
}

/* Drops random pieces of the index files until killed. */
static void evict(const char *index_dir) {
    int fds[kMostFiles];
    off_t sizes[kMostFiles];
    int files = 0;
    DIR *dir = opendir(index_dir);
    struct dirent *entry;
    char path[4096];
    while (dir != NULL && (entry = readdir(dir)) != NULL && files < kMostFiles) {
        struct stat status;
        snprintf(path, sizeof path, "%s/%s", index_dir, entry->d_name);
        const int fd = open(path, O_RDONLY);
        if (fd < 0) continue;
        if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0) {
            fds[files] = fd;
            sizes[files++] = status.st_size;
        } else {
            close(fd);
        }
    }
    if (dir != NULL) closedir(dir);
    const struct timespec pause = {0, kEvictPauseNs};
    srand(20261210);
    for (;;) {
        if (files > 0) {
            const int f = rand() % files;
            const off_t pieces = (sizes[f] + kPieceSize - 1) / kPieceSize;
            posix_fadvise(fds[f], (off_t)(rand() % pieces) * kPieceSize, kPieceSize,
                          POSIX_FADV_DONTNEED);
        }
        nanosleep(&pause, NULL);
    }
}

static int compare(const void *a, const void *b) {
    const double x = *(const double *)a, y = *(const double *)b;
    return (x > y) - (x < y);
}

int main(int argc, char **argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: %s <program> <index dir> [clients] [seconds]\n", argv[0]);
        return 2;
    }
    const int clients = argc > 3 ? atoi(argv[3]) : kDefaultClients;
    const double seconds = argc > 4 ? atof(argv[4]) : kDefaultSeconds;
    struct Shared *shared =
        mmap(NULL, sizeof *shared, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (shared == MAP_FAILED || clients < 1) return 1;
    shared->samples = 0;
    shared->asked = 0;
    const pid_t evictor = fork();
    if (evictor == 0) evict(argv[2]);
    const long long in_before = pages_in();
    const double start = now(), end = start + seconds;
    for (int c = 0; c < clients; c++) {
        if (fork() != 0) continue;
        long long asked = 0;
        for (int q = c; now() < end; q++) {
            const double latency = run_request(argv[1], argv[2], kQueries[q % kQueryCount], &asked);
            const long at = __atomic_fetch_add(&shared->samples, 1, __ATOMIC_RELAXED);
            if (at < kMostSamples) shared->latency[at] = latency;
        }
        __atomic_fetch_add(&shared->asked, asked, __ATOMIC_RELAXED);
        _exit(0);
    }
    for (int c = 0; c < clients; c++) wait(NULL);
    const double elapsed = now() - start;
    const long long in_after = pages_in();
    kill(evictor, SIGKILL);
    waitpid(evictor, NULL, 0);
    const long n = shared->samples < kMostSamples ? shared->samples : kMostSamples;
    qsort(shared->latency, (size_t)n, sizeof(double), compare);
    printf("%d clients, %.1f s: %ld requests, %.0f requests/s, p50 %.3f ms, p99 %.3f ms\n", clients,
           elapsed, shared->samples, shared->samples / elapsed,
           n > 0 ? shared->latency[n / 2] * 1e3 : 0,
           n > 0 ? shared->latency[n * 99 / 100] * 1e3 : 0);
    printf("read from disk (pgpgin): %lld KB; asked for by the requests (rchar): %lld KB\n",
           in_after - in_before, shared->asked / 1024);
    return 0;
}
