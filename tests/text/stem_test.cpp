#include <gtest/gtest.h>

#include <libstemmer.h>
#include <string.h>

#include <string>

#include "context/context.h"
#include "text/text.h"

namespace {

// Sets the stemming settings for one test and restores them afterwards, so
// that the shared context is left as it was found.
class StemTest : public ::testing::Test {
   protected:
    void SetUp() override {
        saved_use_stemming_ = g_search_context.UseStemming;
        saved_algo_ = g_search_context.StemmingAlgo;
        saved_utf8_ = g_search_context.UseUTF8;
        saved_xml_ = g_search_context.g_xml_output;
        saved_stemmer_ = g_search_context.g_stemmer;
        g_search_context.g_stemmer = nullptr;
        g_search_context.g_xml_output = 0;
    }
    void TearDown() override {
        sb_stemmer_delete(g_search_context.g_stemmer);
        g_search_context.g_stemmer = saved_stemmer_;
        g_search_context.UseStemming = saved_use_stemming_;
        g_search_context.StemmingAlgo = saved_algo_;
        g_search_context.UseUTF8 = saved_utf8_;
        g_search_context.g_xml_output = saved_xml_;
    }

    // Creates the stemmer for the settings; returns create_stemmer's result
    // and leaves whatever it printed in printed_.
    bool create(int use_stemming, int algo, int utf8) {
        g_search_context.UseStemming = use_stemming;
        g_search_context.StemmingAlgo = algo;
        g_search_context.UseUTF8 = utf8;
        ::testing::internal::CaptureStdout();
        bool created = create_stemmer();
        printed_ = ::testing::internal::GetCapturedStdout();
        return created;
    }

    // Stems a copy of word; stemmed_ tells whether stem_word reported a stem.
    std::string stem(const std::string &word) {
        std::string buffer = word;
        stemmed_ = stem_word(&buffer[0], static_cast<int>(word.size()));
        return std::string(buffer.c_str());
    }

    std::string printed_;
    bool stemmed_ = false;

   private:
    int32_t saved_use_stemming_ = 0;
    int32_t saved_algo_ = 0;
    int32_t saved_utf8_ = 0;
    int32_t saved_xml_ = 0;
    sb_stemmer *saved_stemmer_ = nullptr;
};

struct StemCase {
    int algo;
    const char *word;
    const char *stem;
};

TEST_F(StemTest, EachAlgorithmInUtf8) {
    const StemCase cases[] = {
        {0, "undervisningen", "undervisning"},
        {0, "b\xC3\xB8gerne", "b\xC3\xB8g"},
        {1, "lichamelijke", "licham"},
        {1, "bedoelingen", "bedoel"},
        {2, "running", "run"},
        {2, "generously", "generous"},
        {2, "ponies", "poni"},
        {2, "caresses", "caress"},
        {2, "skies", "sky"},
        {2, "dying", "die"},
        {3, "taloissa", "talo"},
        {3, "kaupungeissa", "kaupung"},
        {4, "continuellement", "continuel"},
        {4, "chevaux", "cheval"},
        {5, "h\xC3\xA4user", "haus"},
        {5, "aufeinanderfolgenden", "aufeinanderfolg"},
        {6, "vir\xC3\xA1gok", "vir\xC3\xA1g"},
        {6, "tet\xC5\x91ket", "tet\xC5\x91"},
        {7, "abbandonata", "abbandon"},
        {8, "havnedistrikter", "havnedistrikt"},
        {8, "bilene", "bil"},
        {9, "generously", "gener"},
        {9, "relational", "relat"},
        {9, "skies", "ski"},
        {10, "quilom\xC3\xA9tricas", "quilom\xC3\xA9tr"},
        {10, "chegada", "cheg"},
        {11, "frumoasele", "frumoas"},
        {11, "copiilor", "cop"},
        {12, "\xD0\xBA\xD0\xBD\xD0\xB8\xD0\xB3\xD0\xB8", "\xD0\xBA\xD0\xBD\xD0\xB8\xD0\xB3"},
        {13, "chicas", "chic"},
        {13, "cantando", "cant"},
        {14, "jaktkarlarne", "jaktkarl"},
        {14, "flickorna", "flick"},
        {15, "kitaplar", "kitap"},
        {15, "evlerden", "ev"},
    };
    for (const StemCase &c : cases) {
        ASSERT_TRUE(create(1, c.algo, 1)) << "algorithm " << c.algo;
        EXPECT_EQ(stem(c.word), c.stem) << "algorithm " << c.algo << ", " << c.word;
        EXPECT_TRUE(stemmed_) << c.word;
        EXPECT_EQ(printed_, "");
    }
}

TEST_F(StemTest, SingleByteStemmersTakeTheirOwnEncoding) {
    const StemCase cases[] = {
        {5, "h\xE4user", "haus"},                          // Latin-1
        {4, "\xE9v\xEAques", "\xE9v\xEAqu"},               // Latin-1
        {6, "tet\xF5ket", "tet\xF5"},                      // Latin-2: no Latin-1 Hungarian exists
        {11, "\xFE\xE3rile", "\xFE\xE3r"},                 // Latin-2
        {12, "\xCB\xCE\xC9\xC7\xC9", "\xCB\xCE\xC9\xC7"},  // KOI8-R
    };
    for (const StemCase &c : cases) {
        ASSERT_TRUE(create(1, c.algo, 0)) << "algorithm " << c.algo;
        EXPECT_EQ(stem(c.word), c.stem) << "algorithm " << c.algo << ", " << c.word;
        EXPECT_TRUE(stemmed_);
    }
}

TEST_F(StemTest, StemmingOffMakesNoStemmerAndIgnoresTheAlgorithm) {
    for (int algo : {2, 99, -1}) {
        EXPECT_TRUE(create(0, algo, 1));
        EXPECT_EQ(g_search_context.g_stemmer, nullptr);
        EXPECT_EQ(printed_, "");
    }
    // A stemmer left from before is released, not leaked or kept.
    ASSERT_TRUE(create(1, 2, 1));
    EXPECT_TRUE(create(0, 2, 1));
    EXPECT_EQ(g_search_context.g_stemmer, nullptr);
    EXPECT_EQ(stem("running"), "running");
    EXPECT_FALSE(stemmed_);
}

TEST_F(StemTest, BadAlgorithmOrEncodingPrintsItsMessage) {
    const std::string invalid = "Invalid stemming algorithm specified in settings file.<br />\n";
    const std::string failed = "Failed to initialize stemmer.<br />\n";
    for (int algo : {-1, 16, 1000}) {
        EXPECT_FALSE(create(1, algo, 1));
        EXPECT_EQ(printed_, invalid) << algo;
        EXPECT_EQ(g_search_context.g_stemmer, nullptr);
    }
    // Turkish exists only for UTF-8.
    EXPECT_FALSE(create(1, 15, 0));
    EXPECT_EQ(printed_, failed);
    EXPECT_EQ(g_search_context.g_stemmer, nullptr);

    g_search_context.g_xml_output = 1;
    EXPECT_FALSE(create(1, 16, 1));
    EXPECT_EQ(printed_, "<vesk:error>" + invalid + "</vesk:error>\n");
    EXPECT_FALSE(create(1, 15, 0));
    EXPECT_EQ(printed_, "<vesk:error>" + failed + "</vesk:error>\n");
}

TEST_F(StemTest, DigitsAndPunctuationKeepAWordUnstemmed) {
    ASSERT_TRUE(create(1, 2, 1));
    for (const char *word : {"mp3", "e-mail", "c++", "o'neil", "runnings.", "`running", "running?",
                             "a\\b", "runs_fast"}) {
        EXPECT_EQ(stem(word), word);
        EXPECT_FALSE(stemmed_) << word;
    }
    // Parentheses and braces are not in the list.
    EXPECT_EQ(stem("(running)"), "(running)");
    EXPECT_TRUE(stemmed_);
}

TEST_F(StemTest, RefusedWordsAreLeftAsTheyWere) {
    EXPECT_EQ(stem("running"), "running");  // no stemmer
    EXPECT_FALSE(stemmed_);

    ASSERT_TRUE(create(1, 5, 0));
    // Latin-1 "fu\xDF" stems to "fuss": a byte more than the word has.
    EXPECT_EQ(stem("fu\xDF"), "fu\xDF");
    EXPECT_FALSE(stemmed_);
    EXPECT_EQ(stem("stra\xDF"
                   "e"),
              "strass");  // same length: accepted
    EXPECT_TRUE(stemmed_);

    ASSERT_TRUE(create(1, 2, 1));
    EXPECT_EQ(stem(""), "");
    EXPECT_FALSE(stemmed_);
    char null_length[] = "running";
    EXPECT_FALSE(stem_word(null_length, 0));
    EXPECT_FALSE(stem_word(null_length, -5));
    EXPECT_FALSE(stem_word(nullptr, 5));
    EXPECT_STREQ(null_length, "running");
}

TEST_F(StemTest, WordsOfMoreThan400Utf16UnitsAreNotStemmed) {
    ASSERT_TRUE(create(1, 2, 1));
    std::string at_limit = std::string(393, 'x') + "running";
    EXPECT_EQ(stem(at_limit), std::string(393, 'x') + "run");
    EXPECT_TRUE(stemmed_);
    std::string over = "x" + at_limit;
    EXPECT_EQ(stem(over), over);
    EXPECT_FALSE(stemmed_);

    // Characters above U+FFFF take two units: 200 of them fill the limit.
    const std::string emoji = "\xF0\x9F\x98\x80";
    std::string pairs;
    for (int i = 0; i < 200; ++i) pairs += emoji;
    stem(pairs);
    EXPECT_TRUE(stemmed_);
    stem(pairs + "x");
    EXPECT_FALSE(stemmed_);

    // A byte that is not UTF-8 counts as one unit.
    stem(std::string(400, '\xE9'));
    EXPECT_TRUE(stemmed_);
    stem(std::string(401, '\xE9'));
    EXPECT_FALSE(stemmed_);
}

TEST_F(StemTest, StemsOnlyTheGivenBytesAndNothingPastTheText) {
    ASSERT_TRUE(create(1, 2, 1));
    char buffer[32] = "runningXYZ";
    EXPECT_TRUE(stem_word(buffer, 7));
    EXPECT_STREQ(buffer, "run");
    EXPECT_STREQ(buffer + 4, "ingXYZ");  // bytes after the given length are untouched

    // A length beyond the text's NUL stems the text alone.
    char short_text[16] = "ponies\0zzzz";
    EXPECT_TRUE(stem_word(short_text, 11));
    EXPECT_STREQ(short_text, "poni");
    EXPECT_STREQ(short_text + 7, "zzzz");
}

TEST_F(StemTest, InvalidUtf8GoesThroughEveryUtf8Stemmer) {
    // Stray bytes, truncated and overlong sequences, surrogates.
    const char *words[] = {"ab\x80\x80",           "\xC3",          "abc\xE2\x82",
                           "\xC0\xAF\xE0\x80\x80", "\xED\xA0\x80x", "\xF4\x90\x80\x80",
                           "\xFF\xFE\xFD"};
    for (int algo = 0; algo < 16; ++algo) {
        ASSERT_TRUE(create(1, algo, 1));
        for (const char *word : words) {
            std::string result = stem(word);
            EXPECT_LE(result.size(), strlen(word)) << algo;
        }
    }
}

}  // namespace
