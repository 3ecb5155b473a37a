// Text-mode line reading of the platform layer.
#include <gtest/gtest.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "platform/platform.h"

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

}  // namespace
