// Text-mode line reading, mapped blocks, whole-file reads and files opened
// below a directory opened once, of the platform layer.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
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
        free(text);
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

// A whole file read with the size taken before: exactly its bytes, also when
// the size given is larger (a file cut short after its size was taken must
// not end the process).
TEST(WholeFileReads, ReadExactlyWhatTheFileHolds) {
    const std::string dir = testsupport::make_temp_dir("whole");
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
        std::vector<char> buffer(test.stated + 1);
        size_t filled = 0;
        EXPECT_EQ(platform_read_file_into(fd, buffer.data(), test.stated, &filled), kWholeFileRead)
            << test.length;
        EXPECT_EQ(std::string(buffer.data(), filled), bytes) << test.length;
        close(fd);
    }
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
