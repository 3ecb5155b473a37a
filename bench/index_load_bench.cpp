// Index loading speed: writes a large index into a temporary directory (a
// dictionary of 500,000 words with variants and a page-info file of 100,000
// pages), then times each loader in this process against a plain pass that
// reads the same file and counts its lines, and prints both as MB/s and their
// ratio. Usage:
//   index_load_bench [runs]     (best of runs, default 5; goal: ratio at least 0.5)
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include "context/context.h"
#include "index/index.h"
#include "bench_process.h"

namespace {
constexpr int kWords = 500000;
constexpr int kPages = 100000;
constexpr int kCategories = 16;
constexpr int kCategoryBytes = kCategories / 8;
constexpr int kPageRecordSize = kPageInfoSmallFixedSize + kCategoryBytes;

double now_seconds() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

// A small deterministic generator, so every run writes the same index.
uint32_t next_random(uint64_t &state) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return (uint32_t)(state >> 33);
}

std::string random_word(uint64_t &state, int min_length, int max_length) {
    int length = min_length + (int)(next_random(state) % (uint32_t)(max_length - min_length + 1));
    std::string word;
    for (int i = 0; i < length; i++) word += (char)('a' + next_random(state) % 26);
    return word;
}

void write_whole_file(const std::string &path, const std::string &bytes) {
    FILE *file = fopen(path.c_str(), "wb");
    if (file == nullptr || fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
        perror(path.c_str());
        exit(1);
    }
    fclose(file);
}

// Writes the dictionary; sets the pool sizes to exactly what it needs.
std::string write_dictionary(const std::string &dir) {
    SearchContext &c = g_search_context;
    uint64_t state = 42;
    std::string text;
    int64_t base_bytes = 0, variant_bytes = 0, variants = 0;
    for (int i = 0; i < kWords; i++) {
        std::string word = random_word(state, 2, 14);
        int count = (int)(next_random(state) % 4);
        text += word + " " + std::to_string((uint64_t)next_random(state) * 7) + " " +
                std::to_string(count) + "\n";
        base_bytes += (int64_t)word.size() + 1;
        for (int v = 0; v < count; v++) {
            std::string variant = random_word(state, 2, 16);
            text += variant + "\n";
            variant_bytes += (int64_t)variant.size() + 2;
            variants++;
        }
    }
    c.NumKeywords = kWords;
    c.NumVariants = (int32_t)variants;
    c.OutputBasewordBufferSize = (int32_t)base_bytes;
    c.OutputVariantBufferSize = (int32_t)variant_bytes;
    std::string path = dir + "/" + kDictionaryFileName;
    write_whole_file(path, text);
    return path;
}

// Writes the page-info file in the small layout with a category bitmap.
std::string write_page_info(const std::string &dir) {
    SearchContext &c = g_search_context;
    uint64_t state = 7;
    std::string bytes;
    for (int page = 0; page < kPages; page++) {
        uint8_t record[kPageRecordSize] = {};
        record[0] = kPageRecordSize;
        for (int i = 0; i < 4; i++) record[2 + i] = (uint8_t)(page >> (8 * i));  // page-data line
        for (int i = 7; i < kPageRecordSize; i++) record[i] = (uint8_t)next_random(state);
        bytes.append((const char *)record, sizeof record);
    }
    c.NumPages = kPages;
    c.PageInfoSize = (int32_t)bytes.size();
    c.UseCats = 1;
    c.NumCats = kCategories;
    c.NumCatBytes = kCategoryBytes;
    std::string path = dir + "/" + c.pageinfo_file_name;
    write_whole_file(path, bytes);
    return path;
}

// For comparison only: reads the file line by line with fgets and counts the lines.
long count_lines_fgets(const std::string &path) {
    static char line[kDictionaryReadBufferSize];
    FILE *file = fopen(path.c_str(), "rb");
    long lines = 0;
    while (fgets(line, sizeof line, file) != nullptr) lines++;
    fclose(file);
    return lines;
}

long file_size(const std::string &path) {
    FILE *file = fopen(path.c_str(), "rb");
    fseek(file, 0, SEEK_END);
    long size = ftell(file);
    fclose(file);
    return size;
}

// Best time of `runs` calls of load (which returns 0 when loaded).
template <typename Load>
double best_time(int runs, Load load) {
    double best = 1e30;
    for (int i = 0; i < runs; i++) {
        double start = now_seconds();
        if (load() != 0) {
            fprintf(stderr, "load failed\n");
            exit(1);
        }
        double seconds = now_seconds() - start;
        if (seconds < best) best = seconds;
    }
    return best;
}

void report(const char *name, const std::string &path, int runs, int (*loader)()) {
    double megabytes = (double)file_size(path) / 1e6;
    bench::count_lines(path);  // warm the page cache
    double plain = best_time(runs, [&path] { return bench::count_lines(path) < 0 ? 1 : 0; });
    double loaded = best_time(runs, [loader] {
        int result = loader();
        release_all();
        return result;
    });
    double by_line = best_time(runs, [&path] { return count_lines_fgets(path) < 0 ? 1 : 0; });
    printf(
        "%-10s %5.1f MB  load %7.1f MB/s  read+count lines %7.1f MB/s  ratio %.2f"
        "  (fgets line by line %6.1f MB/s)\n",
        name, megabytes, megabytes / loaded, megabytes / plain, plain / loaded,
        megabytes / by_line);
}
}  // namespace

int main(int argc, char **argv) {
    int runs = argc > 1 ? atoi(argv[1]) : 5;
    if (runs < 1) runs = 1;
    char dir_template[] = "/tmp/index_load_bench.XXXXXX";
    const char *dir = mkdtemp(dir_template);
    if (dir == nullptr) {
        perror("mkdtemp");
        return 1;
    }
    SearchContext &c = g_search_context;
    snprintf(c.g_base_directory, sizeof c.g_base_directory, "%s", dir);
    std::string dictionary = write_dictionary(dir);
    std::string page_info = write_page_info(dir);
    // release_all frees the loaded tables but keeps the settings the files were written for.
    report("dictionary", dictionary, runs, load_dictionary_file);
    report("page info", page_info, runs, load_pageinfo_file);
    printf("goal: ratio at least 0.50 (loading at no less than half the plain pass's speed)\n");
    unlink(dictionary.c_str());
    unlink(page_info.c_str());
    rmdir(dir);
    return 0;
}
