// Output sections, the results buffer and the bounded formatters.
#include <gtest/gtest.h>

#include <string>

#include "context/context.h"
#include "index/index.h"
#include "support/capture.h"

namespace {

class OutputTest : public ::testing::Test {
   protected:
    void SetUp() override {
        release_all();
        init_search_context();
        ASSERT_EQ(allocate_output_buffers(), 0);
    }
    void TearDown() override { release_all(); }
    SearchContext &c = g_search_context;
};

TEST_F(OutputTest, FreshBuffersHaveTheirStartingSizes) {
    for (int i = 0; i < kSectionCount; i++) {
        EXPECT_EQ(c.g_section_capacity[i], 100);
        EXPECT_EQ(c.g_section_length[i], 0);
        EXPECT_STREQ(c.g_section_texts[i], "");
    }
    // Allocated while g_per_page still holds its default of 10.
    EXPECT_EQ(c.g_result_buffer_capacity, 33772);
}

TEST_F(OutputTest, SectionGrowthTakesTheLargerOfHalfAgainAndWhatIsNeeded) {
    std::string ninety(90, 'a'), sixty(60, 'b');
    ASSERT_EQ(section_printf(3, "%s", ninety.c_str()), 90);
    EXPECT_EQ(c.g_section_capacity[3], 100);
    ASSERT_EQ(section_printf(3, "%s", sixty.c_str()), 60);
    EXPECT_EQ(c.g_section_capacity[3], 151);
    EXPECT_EQ(std::string(c.g_section_texts[3]), ninety + sixty);

    std::string seventy(70, 'c'), forty(40, 'd');
    section_printf(4, "%s", seventy.c_str());
    section_printf(4, "%s", forty.c_str());
    EXPECT_EQ(c.g_section_capacity[4], 150);
    EXPECT_EQ(c.g_section_length[4], 110);
}

TEST_F(OutputTest, AppendThatLeavesRoomForTheTerminatorDoesNotGrow) {
    std::string text(99, 'x');
    section_printf(5, "%s", text.c_str());
    EXPECT_EQ(c.g_section_capacity[5], 100);
    section_printf(5, "y");
    EXPECT_EQ(c.g_section_capacity[5], 150);
    EXPECT_EQ(strlen(c.g_section_texts[5]), 100u);
}

// Texts at, just past and far past the stack buffer arrive whole in a section,
// the results buffer and standard output, and later appends land after them.
TEST_F(OutputTest, LongTextsArriveWhole) {
    const int lengths[] = {10239, 10240, 12000, 100000};
    for (int length : lengths) {
        SCOPED_TRACE(length);
        release_all();
        init_search_context();
        ASSERT_EQ(allocate_output_buffers(), 0);
        const std::string text = std::string(length - 1, 'x') + ">";

        EXPECT_EQ(section_printf(SECTION_CUSTOMMETAOPTIONS, "\"%s\"", text.c_str()), length + 2);
        EXPECT_EQ(section_printf(SECTION_CUSTOMMETAOPTIONS, "%s", "tail"), 4);
        // Compared as booleans: a failure would otherwise print the whole texts.
        EXPECT_TRUE(c.g_section_texts[SECTION_CUSTOMMETAOPTIONS] == "\"" + text + "\"tail");
        EXPECT_EQ(c.g_section_length[SECTION_CUSTOMMETAOPTIONS], length + 6);
        EXPECT_LT(length + 6, c.g_section_capacity[SECTION_CUSTOMMETAOPTIONS]);

        EXPECT_EQ(buffer_printf("<b>%s</b>", text.c_str()), length + 7);
        EXPECT_TRUE(c.g_result_buffer == "<b>" + text + "</b>");

        testsupport::StdoutCapture capture;
        EXPECT_EQ(out_printf("[%s]", text.c_str()), length + 2);
        EXPECT_EQ(out_puts(text.c_str()), length);
        EXPECT_TRUE(capture.text() == "[" + text + "]" + text);
    }
}

// Each append lands at the stored length: a text holding a formatted NUL keeps
// what came before it, and a long page of small appends takes linear time
// (a rescan of the text at every append would take minutes here).
TEST_F(OutputTest, AppendsLandAtTheStoredLength) {
    EXPECT_EQ(section_printf(SECTION_SUMMARY, "a%cb", 0), 3);
    EXPECT_EQ(section_printf(SECTION_SUMMARY, "c"), 1);
    EXPECT_STREQ(c.g_section_texts[SECTION_SUMMARY], "ac");
    EXPECT_EQ(c.g_section_length[SECTION_SUMMARY], 2);

    const int64_t start = timer_now();
    const int appends = 200000;
    for (int i = 0; i < appends; i++) ASSERT_EQ(buffer_printf("<li>%07d</li>", i), 16);
    EXPECT_LT(timer_seconds(start, timer_now()), 5.0);
    EXPECT_EQ(strlen(c.g_result_buffer), (size_t)appends * 16);
    EXPECT_EQ(c.g_result_buffer_length, appends * 16);
    EXPECT_STREQ(c.g_result_buffer + (appends - 1) * 16, "<li>0199999</li>");
}

TEST_F(OutputTest, NullFormatAndBadSectionGiveMinusOne) {
    const char *no_format = nullptr;
    EXPECT_EQ(buffer_printf(no_format), -1);
    EXPECT_EQ(section_printf(SECTION_END, "x"), -1);
    EXPECT_EQ(section_printf(-1, "x"), -1);
    EXPECT_EQ(c.g_result_buffer_length, 0);
}

TEST_F(OutputTest, ResultsBufferGrowsPastItsStartingSize) {
    std::string block(2000, 'r');
    for (int i = 0; i < 40; i++) ASSERT_EQ(buffer_printf("%s", block.c_str()), 2000);
    EXPECT_EQ(strlen(c.g_result_buffer), 80000u);
    EXPECT_GT(c.g_result_buffer_capacity, 80000);
}

TEST_F(OutputTest, CatSummaryIsEmptiedKeepingItsCapacity) {
    section_printf(SECTION_CATSUMMARY, "%s", std::string(300, 's').c_str());
    int capacity = c.g_section_capacity[SECTION_CATSUMMARY];
    clear_catsummary_section();
    EXPECT_STREQ(c.g_section_texts[SECTION_CATSUMMARY], "");
    EXPECT_EQ(c.g_section_length[SECTION_CATSUMMARY], 0);
    EXPECT_EQ(c.g_section_capacity[SECTION_CATSUMMARY], capacity);
}

// The error wrapper and the seek messages that use it: wrapped in XML mode only.
TEST_F(OutputTest, ErrorMessagesAreWrappedInXmlModeOnly) {
    const struct {
        int xml;
        const char *message;
        const char *closing;
        const char *expected;
    } messages[] = {
        {0, "Failed.", "</vesk:error>\n", "Failed."},
        {1, "Failed.", "</vesk:error>\n", "<vesk:error>Failed.</vesk:error>\n"},
        {1, "100% <b>", "</vesk:error>", "<vesk:error>100% <b></vesk:error>"},
        {1, "", "</vesk:error>", "<vesk:error></vesk:error>"},
    };
    for (const auto &row : messages) {
        c.g_xml_output = row.xml;
        testsupport::StdoutCapture capture;
        print_error_message(row.message, row.closing);
        EXPECT_EQ(capture.text(), row.expected) << row.message << " xml " << row.xml;
    }

    const std::string past_limit =
        "Error seeking in file. This CGI build does not support files larger than 2GB in size. "
        "Please contact Orlatine for help.";
    const std::string failed =
        "Error seeking in file. This may be due to an incompatible CGI build for your operating "
        "system. Please contact Orlatine for help.";
    const struct {
        int xml;
        int64_t offset;
        std::string expected;
    } seeks[] = {
        {0, 2000000000, failed},
        {0, 2000000001, past_limit},
        {1, 2000000000, "<vesk:error>" + failed + "</vesk:error>"},
        {1, 2000000001, "<vesk:error>" + past_limit + "</vesk:error>"},
    };
    for (const auto &row : seeks) {
        c.g_xml_output = row.xml;
        testsupport::PipeStream unseekable;
        ASSERT_NE(unseekable.stream, nullptr);
        testsupport::StdoutCapture capture;
        EXPECT_NE(seek_data_file(unseekable.stream, row.offset), 0);
        EXPECT_EQ(capture.text(), row.expected) << row.offset << " xml " << row.xml;
    }
}

class ResultCountTest : public OutputTest {
   protected:
    void SetUp() override {
        OutputTest::SetUp();
        c.g_str_texts = (char **)calloc(kStrTextCount, sizeof(char *));
        c.g_str_texts[STR_NO_RESULTS] = strdup("No results");
        c.g_str_texts[STR_RESULT] = strdup("result");
        c.g_str_texts[STR_RESULTS] = strdup("results");
        c.g_str_texts[STR_MORETHAN] = strdup("More than");
    }
    void empty_summary() {
        c.g_section_texts[SECTION_SUMMARY][0] = '\0';
        c.g_section_length[SECTION_SUMMARY] = 0;
    }
};

TEST_F(ResultCountTest, PhrasesForNoneOneAndMany) {
    c.g_search_cut_short = 1;
    print_result_count(0, "found.");
    EXPECT_STREQ(c.g_section_texts[SECTION_SUMMARY], "No results found. ");
    clear_catsummary_section();
    empty_summary();
    print_result_count(1, "found.");
    EXPECT_STREQ(c.g_section_texts[SECTION_SUMMARY], "1 result found. ");
    empty_summary();
    print_result_count(3000000000u, "found.");
    EXPECT_STREQ(c.g_section_texts[SECTION_SUMMARY], "More than 3000000000 results found. ");
    empty_summary();
    c.g_search_cut_short = 0;
    print_result_count(7, "x");
    EXPECT_STREQ(c.g_section_texts[SECTION_SUMMARY], "7 results x ");
}

}  // namespace
