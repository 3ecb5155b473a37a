// The saturating number readers used for request and settings text: equal to
// the C library wherever its result is defined, saturated past the range.
#include <gtest/gtest.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include "context/context.h"

namespace {

struct NumberRow {
    const char *text;
    bool has_digits;    // scan_int32 and scan_uint32 succeed
    int32_t as_int;     // lenient_atoi and scan_int32
    uint32_t as_uint;   // scan_uint32
    bool int_defined;   // atoi and "%d" are defined for this text
    bool uint_defined;  // "%u" is defined for this text
};

const NumberRow kRows[] = {
    {"42", true, 42, 42u, true, true},
    {"  -17xyz", true, -17, 4294967279u, true, false},
    {"+8", true, 8, 8u, true, true},
    {"\t\n\v\f\r 5", true, 5, 5u, true, true},
    {"007", true, 7, 7u, true, true},
    {"", false, 0, 0u, true, true},
    {"abc", false, 0, 0u, true, true},
    {"-", false, 0, 0u, true, true},
    {"+-3", false, 0, 0u, true, true},
    {"- 3", false, 0, 0u, true, true},
    {"2147483647", true, INT32_MAX, 2147483647u, true, true},
    {"-2147483648", true, INT32_MIN, 2147483648u, true, false},
    {"4294967295", true, INT32_MAX, UINT32_MAX, false, true},
    {"2147483648", true, INT32_MAX, 2147483648u, false, true},
    {"-2147483649", true, INT32_MIN, 2147483647u, false, false},
    {"4294967297", true, INT32_MAX, UINT32_MAX, false, false},
    {"-4294967295", true, INT32_MIN, 1u, false, false},
    {"99999999999999999999999", true, INT32_MAX, UINT32_MAX, false, false},
    {"-99999999999999999999999", true, INT32_MIN, 1u, false, false},
};

TEST(NumberScan, SaturatingReadersAgreeWithTheCLibraryWhereItIsDefined) {
    for (const NumberRow &row : kRows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(lenient_atoi(row.text), row.as_int);

        int32_t as_int = -99;
        EXPECT_EQ(scan_int32(row.text, &as_int), row.has_digits);
        EXPECT_EQ(as_int, row.has_digits ? row.as_int : -99);  // untouched without digits

        uint32_t as_uint = 99u;
        EXPECT_EQ(scan_uint32(row.text, &as_uint), row.has_digits);
        EXPECT_EQ(as_uint, row.has_digits ? row.as_uint : 99u);

        if (row.int_defined) {
            EXPECT_EQ(lenient_atoi(row.text), atoi(row.text));
            int c_int = -99;
            EXPECT_EQ(sscanf(row.text, "%d", &c_int) == 1, row.has_digits);
            EXPECT_EQ(c_int, row.has_digits ? row.as_int : -99);
        }
        if (row.uint_defined) {
            unsigned c_uint = 99u;
            EXPECT_EQ(sscanf(row.text, "%u", &c_uint) == 1, row.has_digits);
            EXPECT_EQ(c_uint, row.has_digits ? row.as_uint : 99u);
        }
    }
}

}  // namespace
