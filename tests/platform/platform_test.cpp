// Text-mode line reading, mapped blocks, whole-file reads and files opened
// below a directory opened once, of the platform layer.
#include <fcntl.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/index_writer.h"

namespace {

// Reads bytes back through platform_read_text_line in pieces of `size` bytes.
std::vector<std::string> pieces(const std::string &bytes, int size) {
    FILE *file = tmpfile();
    fwrite(bytes.data(), 1, bytes.size(), file);
    rewind(file);
    std::vector<std::string> out;
    std::vector<char> buffer((size_t)size);
    while (platform_read_text_line(buffer.data(), size, file) != nullptr)
        out.push_back(buffer.data());
    fclose(file);
    return out;
}

using Pieces = std::vector<std::string>;

TEST(TextLines, CrLfBecomesLfEvenAcrossPieces) {
    EXPECT_EQ(pieces("ab\r\ncd\r\n", 64), (Pieces{"ab\n", "cd\n"}));
    EXPECT_EQ(pieces("abc\r\nd", 5), (Pieces{"abc\n", "d"}));    // piece "abc\r", then the LF
    EXPECT_EQ(pieces("abc\rd\n", 5), (Pieces{"abc\r", "d\n"}));  // a CR alone stays
    EXPECT_EQ(pieces("x\r", 64), (Pieces{"x\r"}));
}

TEST(TextLines, CtrlZEndsTheFile) {
    EXPECT_EQ(pieces("apple\n\x1a\napricot\n", 64), (Pieces{"apple\n"}));
    EXPECT_EQ(pieces("ap\x1apple\nx\n", 64), (Pieces{"ap"}));
}

// What the last platform_alloc_block said of its block.
bool g_block_zeroed = false;
const bool kAlwaysZeroed = true;

// Blocks of every size class (heap, small pages, huge pages) come zeroed
// (those of platform_alloc_block when it says so), hold their whole size and
// go back without harm; only the prefaulted part differs, and a reserve is
// never prefaulted.
TEST(MappedBlocks, ZeroedAndWholeInEverySize) {
    const size_t sizes[] = {1,          4095,           64 * 1024 - 1, 64 * 1024,
                            300 * 1024, (1 << 20) - 16, (2 << 20) + 1};
    const auto free_mapped = [](void *block, size_t) { platform_free_mapped(block); };
    const struct {
        const char *name;
        void *(*alloc)(size_t size);
        void (*release)(void *block, size_t size);
        const bool *zeroed;  // whether the block must be zero-filled
    } kinds[] = {
        {"mapped", [](size_t size) { return platform_alloc_mapped(size, 0); }, free_mapped,
         &kAlwaysZeroed},
        {"half prefaulted", [](size_t size) { return platform_alloc_mapped(size, size / 2); },
         free_mapped, &kAlwaysZeroed},
        {"prefaulted", [](size_t size) { return platform_alloc_mapped(size, size); }, free_mapped,
         &kAlwaysZeroed},
        {"block", [](size_t size) { return platform_alloc_block(size, size, &g_block_zeroed); },
         free_mapped, &g_block_zeroed},
        {"reserve", platform_alloc_reserve, platform_free_reserve, &kAlwaysZeroed},
    };
    for (int laid_out = 0; laid_out <= 1; laid_out++) {
        // Later blocks below the heap's limit come from its huge pages.
        if (laid_out) platform_use_huge_heap();
        for (const auto &kind : kinds) {
            for (size_t size : sizes) {
                unsigned char *block = (unsigned char *)kind.alloc(size);
                ASSERT_NE(block, nullptr) << kind.name << " " << size;
                size_t nonzero = 0;
                for (size_t i = 0; i < size; i += 512) nonzero += block[i] != 0;
                if (*kind.zeroed) {
                    EXPECT_EQ(nonzero + block[size - 1], 0u) << kind.name << " " << size;
                }
                memset(block, 0xA5, size);  // every byte, the last included, is the caller's
                kind.release(block, size);
            }
            EXPECT_EQ(kind.alloc(0), nullptr) << kind.name;
            EXPECT_EQ(kind.alloc(SIZE_MAX), nullptr) << kind.name;
        }
    }
    platform_free_mapped(nullptr);
    platform_free_reserve(nullptr, 1);
}

// Prefaulted heap blocks of every size class, before and after the heap is
// laid out in huge pages: whole, zeroed when asked, released by free().
TEST(PrefaultedBlocks, WholeAndZeroedBeforeAndAfterTheHugeHeap) {
    const size_t sizes[] = {1, 4095, 64 * 1024, 300 * 1024, (1 << 20) - 16, (1 << 20) + 1};
    for (int laid_out = 0; laid_out <= 1; laid_out++) {
        if (laid_out) platform_use_huge_heap();
        for (size_t size : sizes) {
            unsigned char *zeroed = (unsigned char *)platform_malloc_prefaulted(size, true);
            unsigned char *plain = (unsigned char *)platform_malloc_prefaulted(size, false);
            ASSERT_NE(zeroed, nullptr) << size;
            ASSERT_NE(plain, nullptr) << size;
            size_t nonzero = 0;
            for (size_t i = 0; i < size; i += 256) nonzero += zeroed[i] != 0;
            EXPECT_EQ(nonzero + zeroed[size - 1], 0u) << size << " " << laid_out;
            memset(plain, 0xA5, size);
            memset(zeroed, 0x5A, size);
            free(plain);
            free(zeroed);
        }
    }
    EXPECT_EQ(platform_malloc_prefaulted(0, true), nullptr);
}

// With small blocks freed about the heap (as reading the settings leaves
// it) and the heap's free end a few hundred bytes short of a huge-page
// boundary, the heap is still laid out in huge pages wherever the system
// takes the advice: the block that fills the heap up to a boundary must come
// from the free end, not from a freed block that happens to fit.
TEST(PrefaultedBlocks, HugeHeapLaidOutAfterFreedBlocks) {
    constexpr size_t kHuge = 2 << 20;
    std::vector<void *> kept;
    for (size_t size = 16; size <= 4096; size += 48) {
        void *freed = malloc(size);
        kept.push_back(malloc(16));
        free(freed);
    }
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, (int)(2 * kHuge));
    const uintptr_t free_end = (uintptr_t)sbrk(0) - mallinfo2().keepcost;
    const uintptr_t boundary = (free_end + kHuge - 1) / kHuge * kHuge;
    if (boundary - free_end > 4096) kept.push_back(malloc(boundary - free_end - 700));
#endif
    const int layout = platform_use_huge_heap();
    for (void *block : kept) free(block);
    void *probe =
        mmap(nullptr, 2 * kHuge, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(probe, MAP_FAILED);
    const uintptr_t aligned = ((uintptr_t)probe + kHuge - 1) / kHuge * kHuge;
    const bool advised = madvise((void *)aligned, kHuge, MADV_HUGEPAGE) == 0;
    munmap(probe, 2 * kHuge);
    if (advised) {
        EXPECT_NE(layout, kHugeHeapRefused);
    }
}

// A file comes back whole with a NUL behind it; a directory is a read error.
TEST(WholeFileReads, BytesAndTheirEnd) {
    const std::string dir = testsupport::make_temp_dir("whole");
    const std::string big(3 << 20, 'x');
    const std::vector<std::string> contents = {"", "a", std::string("a\0b\n", 4), big};
    for (const std::string &bytes : contents) {
        testsupport::write_file(dir, "f", bytes);
        const int fd = open((dir + "/f").c_str(), O_RDONLY);
        char *text = nullptr;
        size_t size = 1;
        ASSERT_EQ(platform_read_whole_file(fd, &text, &size), kWholeFileRead);
        close(fd);
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(std::string(text, size), bytes);
        EXPECT_EQ(text[size], '\0');
        platform_free_mapped(text);
    }
    const int fd = open(dir.c_str(), O_RDONLY);
    char *text = (char *)1;
    size_t size = 1;
    EXPECT_EQ(platform_read_whole_file(fd, &text, &size), kWholeFileReadError);
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(size, 0u);
    close(fd);
    testsupport::remove_tree(dir);
}

// Per 2 MB region of the first `size` bytes of fd: '1' when every page is
// in the page cache, '0' when none is, 'p' when some are.
std::string region_residency(int fd, uint64_t size) {
    constexpr uint64_t kRegion = 2 << 20;
    void *mapping = mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    if (mapping == MAP_FAILED) return "?";
    const uint64_t page = (uint64_t)sysconf(_SC_PAGESIZE);
    std::vector<unsigned char> resident((size + page - 1) / page);
    mincore(mapping, size, resident.data());
    munmap(mapping, size);
    std::string out;
    for (uint64_t start = 0; start < size; start += kRegion) {
        size_t cached = 0, pages = 0;
        for (uint64_t p = start / page; p < resident.size() && p < (start + kRegion) / page; p++) {
            pages++;
            cached += resident[p] & 1;
        }
        out += cached == pages ? '1' : cached == 0 ? '0' : 'p';
    }
    return out;
}

// Drops the file of fd from the page cache; false where its file system
// keeps the pages anyway (tmpfs), so that what is cached cannot be seen.
bool drop_from_cache(int fd, uint64_t size) {
    fdatasync(fd);
    posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    return region_residency(fd, size).find_first_not_of('0') == std::string::npos;
}

// Whether the system answers cachestat (451 on the systems that build this;
// absent before Linux 6.5 and under some emulators): without it nothing is
// brought in.
bool page_cache_visible(int fd) {
    uint64_t range[2] = {0, 1}, answer[5] = {};
    return syscall(451, fd, range, answer, 0) == 0;
}

// A file that is not cached: brought in whole by platform_cache_in_large_pieces
// alone (before any read), up to its end when the size given is larger (a
// file cut short after its size was taken must not end the process), and
// then read exactly.
TEST(PageCachePieces, WholeFilesComeInAndReadExactly) {
    const std::string dir = testsupport::make_temp_dir("uncached");
    struct Case {
        size_t length;  // bytes in the file
        size_t stated;  // size passed to the reader
    };
    const Case cases[] = {{1, 1},
                          {4097, 4097},
                          {(5 << 20) + 13, (5 << 20) + 13},
                          {(2 << 20) + 1, (3 << 20)},
                          {100, 8192}};
    for (const Case &test : cases) {
        std::string bytes(test.length, '\0');
        for (size_t i = 0; i < bytes.size(); i++) bytes[i] = (char)('a' + i * 7 % 26);
        testsupport::write_file(dir, "f", bytes);
        const int fd = open((dir + "/f").c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        if (drop_from_cache(fd, test.length) && page_cache_visible(fd)) {
            platform_cache_in_large_pieces(fd, test.stated);
            EXPECT_EQ(region_residency(fd, test.length).find_first_not_of('1'), std::string::npos)
                << test.length;
            drop_from_cache(fd, test.length);
        }
        std::vector<char> buffer(test.stated + 1);
        size_t filled = 0;
        EXPECT_EQ(platform_read_file_into(fd, buffer.data(), test.stated, &filled), kWholeFileRead)
            << test.length;
        EXPECT_EQ(std::string(buffer.data(), filled), bytes) << test.length;
        close(fd);
    }
    testsupport::remove_tree(dir);
}

// A range read in parts brings in whole the 2 MB regions it touches and no
// others, clamped to the file's end, once per record of regions: a region
// already made sure of is not looked at again. Where the system cannot tell
// what is cached, nothing is brought in.
TEST(PageCachePieces, RegionsOfFilesReadInParts) {
    constexpr uint64_t kMB = 1 << 20;
    const std::string dir = testsupport::make_temp_dir("regions");
    const uint64_t size = 5 * kMB + 13;
    testsupport::write_file(dir, "f", std::string(size, 'r'));
    const int fd = open((dir + "/f").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    if (!drop_from_cache(fd, size)) {
        close(fd);
        testsupport::remove_tree(dir);
        GTEST_SKIP() << "the file system of " << dir << " keeps dropped pages";
    }
    struct Case {
        uint64_t offset, length;
        const char *regions;  // region_residency afterwards, from nothing cached
    };
    const Case cases[] = {
        {0, 1, "100"},
        {2 * kMB - 1, 2, "110"},
        {4 * kMB + 5, 100 * kMB, "001"},
        {kMB, UINT64_MAX, "111"},
        {size, 10, "000"},
        {0, 0, "000"},
    };
    for (const Case &test : cases) {
        ASSERT_TRUE(drop_from_cache(fd, size));
        CachedRegions regions{};
        platform_cache_range_in_large_pieces(fd, test.offset, test.length, &regions);
        EXPECT_EQ(region_residency(fd, size), page_cache_visible(fd) ? test.regions : "000")
            << test.offset << "+" << test.length;
        ASSERT_TRUE(drop_from_cache(fd, size));
        platform_cache_range_in_large_pieces(fd, test.offset, test.length, &regions);
        EXPECT_EQ(region_residency(fd, size), "000") << test.offset << "+" << test.length;
    }
    close(fd);
    testsupport::remove_tree(dir);
}

// The UTC calendar by arithmetic agrees with the C library's gmtime: named
// dates around leap days, century years and the ends of the 32-bit range, and
// a sweep of a moment a little under a day apart from 1970 on.
TEST(UtcTime, AgreesWithTheCLibrary) {
    const struct {
        int64_t seconds;
        const char *expected;  // year-month-day hour:minute:second weekday
    } dates[] = {
        {0, "1970-01-01 00:00:00 4"},          {86399, "1970-01-01 23:59:59 4"},
        {951782400, "2000-02-29 00:00:00 2"},  {951868799, "2000-02-29 23:59:59 2"},
        {951868800, "2000-03-01 00:00:00 3"},  {4107542400, "2100-03-01 00:00:00 1"},
        {2147483647, "2038-01-19 03:14:07 2"}, {4294967295, "2106-02-07 06:28:15 0"},
        {1709164800, "2024-02-29 00:00:00 4"}, {1735689599, "2024-12-31 23:59:59 2"},
    };
    for (const auto &date : dates) {
        const UtcTime t = platform_utc_time(date.seconds);
        char text[64];
        snprintf(text, sizeof text, "%04lld-%02d-%02d %02d:%02d:%02d %d", (long long)t.year,
                 t.month + 1, t.day, t.hour, t.minute, t.second, t.weekday);
        EXPECT_STREQ(text, date.expected) << date.seconds;
    }
    for (int64_t seconds = 0; seconds < 5000000000LL; seconds += 86311 * 7 + 13) {
        const time_t moment = (time_t)seconds;
        struct tm parts;
        if ((int64_t)moment != seconds || gmtime_r(&moment, &parts) == nullptr) break;
        const UtcTime t = platform_utc_time(seconds);
        ASSERT_EQ(t.year, parts.tm_year + 1900) << seconds;
        ASSERT_EQ(t.month, parts.tm_mon) << seconds;
        ASSERT_EQ(t.day, parts.tm_mday) << seconds;
        ASSERT_EQ(t.hour * 3600 + t.minute * 60 + t.second,
                  parts.tm_hour * 3600 + parts.tm_min * 60 + parts.tm_sec)
            << seconds;
        ASSERT_EQ(t.weekday, parts.tm_wday) << seconds;
    }
}

}  // namespace

namespace {

// Opens through platform_open_file and reads the file back; "error N" when it fails.
std::string read_below(int directory, const char *name) {
    FILE *file = platform_open_stream(directory, name);
    if (file == nullptr) {
        char *text = platform_last_error_text();
        std::string failed = text;
        platform_free_error_text(text);
        return "error " + failed;
    }
    std::string bytes;
    for (int c; (c = fgetc(file)) != EOF;) bytes += (char)c;
    fclose(file);
    return bytes;
}

std::string error_text(int number) {
    return std::string("error ") + strerror(number);
}

}  // namespace

TEST(DirectoryFiles, NamesStayBelowTheDirectoryOpenedOnce) {
    const std::string dir = testsupport::make_temp_dir("directory_files");
    ASSERT_EQ(mkdir((dir + "/sub").c_str(), 0755), 0);
    testsupport::write_file(dir, "file", "top");
    testsupport::write_file(dir + "/sub", "file", "below");
    const int directory = platform_open_directory(dir.c_str());
    ASSERT_GE(directory, 0);
    // The folder's path now names another folder: names still open below the first.
    ASSERT_EQ(rename(dir.c_str(), (dir + ".old").c_str()), 0);
    ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
    testsupport::write_file(dir, "file", "other");
    const std::string as_given = dir + "/file";
    struct Case {
        int directory;
        const char *name;
        std::string read;
    };
    const Case cases[] = {
        {directory, "file", "top"},
        {directory, "/file", "top"},  // as "<directory>//file" would
        {directory, "//sub/./file", "below"},
        {directory, "sub/../file", "top"},
        {directory, "missing", error_text(ENOENT)},
        {directory, "", error_text(ENOENT)},
        {directory, "/", error_text(ENOENT)},
        {-1, "file", error_text(EBADF)},
        {kPlatformNameAsGiven, as_given.c_str(), "other"},
    };
    for (const Case &c : cases) EXPECT_EQ(read_below(c.directory, c.name), c.read) << c.name;

    EXPECT_EQ(platform_append_to_file(directory, "/sub/log", "one\r\n", 5), 0);
    EXPECT_EQ(platform_append_to_file(directory, "sub/log", "two\r\n", 5), 0);
    EXPECT_EQ(testsupport::read_file(dir + ".old/sub/log"), "one\r\ntwo\r\n");
    EXPECT_EQ(platform_append_to_file(directory, "none/log", "x", 1), ENOENT);
    platform_close_file(directory);

    EXPECT_EQ(platform_open_directory(as_given.c_str()), -1);  // a file is no directory
    const int root = platform_open_directory("");              // "" + "/" + name: the root
    ASSERT_GE(root, 0);
    EXPECT_EQ(read_below(root, as_given.c_str() + 1), "other");
    platform_close_file(root);
    testsupport::remove_tree(dir);
    testsupport::remove_tree(dir + ".old");
}
