// Linux versions of the counter, last-error and file-position interfaces.
#include "platform/platform.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {
constexpr int64_t kNanosecondsPerSecond = 1000000000;
constexpr char kTextEndOfFile = 0x1A;       // Ctrl-Z: ends a file read in text mode
constexpr int kMemoryReportLineSize = 256;  // a line of smaps_rollup: "Name:" and a number
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

int platform_read_file_into(int fd, char *buffer, size_t size, size_t *filled) {
    *filled = 0;
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

int platform_read_whole_file(int fd, char **text, size_t *size) {
    *text = nullptr;
    *size = 0;
    uint64_t file_size;
    if (!platform_file_size(fd, &file_size)) return kWholeFileReadError;
    if (file_size >= SIZE_MAX) return kWholeFileNoMemory;
    char *buffer = (char *)malloc((size_t)file_size + 1);
    if (buffer == nullptr) return kWholeFileNoMemory;
    size_t filled = 0;
    if (platform_read_file_into(fd, buffer, (size_t)file_size, &filled) != kWholeFileRead) {
        free(buffer);
        return kWholeFileReadError;
    }
    buffer[filled] = '\0';
    *text = buffer;
    *size = filled;
    return kWholeFileRead;
}

void platform_end_process(int code) {
    fflush(stdout);
    exit(code);
}

void platform_report_private_memory() {
#ifdef SITEQUERY_MEMORY_REPORT
    FILE *rollup = fopen("/proc/self/smaps_rollup", "r");
    char line[kMemoryReportLineSize];
    while (rollup != nullptr && fgets(line, sizeof line, rollup) != nullptr)
        if (strncmp(line, "Private_Dirty:", 14) == 0) fputs(line, stderr);
    if (rollup != nullptr) fclose(rollup);
#endif
}
