// The spelling and autocomplete lists the builder writes, through the real
// search program: a misspelling of one of the site's frequent words proposes
// that word first, whether its phonetic key is the word's own (and shared with
// more frequent short words) or another one; autocomplete offers the words and
// title phrases that begin with what was typed in order of use.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "indexer/builder_fixture.h"

namespace {

using buildertest::page;

// Eight pages: "for" and "free" on all of them, the frequent words on five,
// "swarmed" and "swarms" on three (the second twice a page), two words on one
// page each, and the title phrase "swarming bees" on two.
std::vector<indexer::ExtractedPage> site_pages() {
    std::vector<indexer::ExtractedPage> pages;
    for (int i = 0; i < 8; i++) {
        std::string body = "Notes for beekeepers, free to copy.";
        if (i < 5)
            body += " Treat varroa before the foragers start swarming; extracting comes later.";
        if (i < 3) body += " The colony swarmed; swarms settle nearby, and swarms again.";
        if (i == 3) body += " A swarmless year.";
        if (i == 4) body += " A swarmlet is small.";
        const std::string title = i >= 6 ? "Swarming bees" : "Apiary notes " + std::to_string(i);
        pages.push_back(page("notes/page" + std::to_string(i) + ".html", title, body));
    }
    return pages;
}

// The answer of the search program to query on the site's index, which is
// built on first use and removed when the test program ends.
std::string search(const std::string &query) {
    static const struct Built {
        std::string dir, error;
        Built() { dir = buildertest::build(buildertest::options(), site_pages(), 2, &error); }
        ~Built() {
            if (!dir.empty()) testsupport::remove_tree(dir);
        }
    } built;
    EXPECT_NE(built.dir, "") << built.error;
    return buildertest::search(built.dir, query);
}

// The texts of the links in answer after `start` whose opening tag ends with
// `tag_end`, in order.
std::vector<std::string> link_texts(const std::string &answer, size_t start,
                                    const std::string &tag_end) {
    std::vector<std::string> texts;
    for (size_t at = answer.find(tag_end, start); at != std::string::npos;
         at = answer.find(tag_end, at)) {
        at += tag_end.size();
        const size_t end = answer.find("</a>", at);
        if (end == std::string::npos) break;
        texts.push_back(answer.substr(at, end - at));
    }
    return texts;
}

TEST(WordLists, AMisspellingProposesTheIntendedFrequentWordFirst) {
    const struct {
        const char *typed, *first;
    } cases[] = {
        {"varoa", "varroa"},            // the key of "for" and "free", both on more pages
        {"foragres", "foragers"},       // swapped letters: a key no word of the site has
        {"swarmnig", "swarming"},       // the spelling shown for the stem is the most used one
        {"extravting", "extracting"},   // a replaced letter
        {"varrroa", "varroa"},          // a doubled letter: a key of its own
        {"exttracting", "extracting"},  // a doubled letter
    };
    for (const auto &c : cases) {
        const std::string answer = search(std::string("vesk_query=") + c.typed);
        const std::string block = "<div class=\"suggestion\">";
        const size_t at = answer.find(block);
        ASSERT_NE(at, std::string::npos) << c.typed << "\n" << answer;
        const std::vector<std::string> proposals =
            link_texts(answer.substr(0, answer.find("</div>", at)), at + block.size(), "\">");
        ASSERT_FALSE(proposals.empty()) << c.typed;
        EXPECT_EQ(proposals[0], c.first) << c.typed;
    }
}

TEST(WordLists, AutocompleteOffersItemsInOrderOfUse) {
    const struct {
        const char *typed;
        std::vector<std::string> offered;
    } cases[] = {
        // Pages first, then occurrences (swarms twice a page), then a title
        // phrase on two pages, then byte order among the single-page words.
        {"swarm", {"swarming", "swarms", "swarmed", "swarming bees", "swarmless", "swarmlet"}},
        {"SWARMI", {"swarming", "swarming bees"}},
        {"fo", {"for", "foragers"}},
        {"apiary", {"apiary", "apiary notes"}},  // a tie in pages and uses: byte order
    };
    for (const auto &c : cases) {
        const std::string answer = search(std::string("vesk_ac=1&vesk_query=") + c.typed);
        EXPECT_EQ(link_texts(answer, 0, "target=\"_self\">"), c.offered) << c.typed;
    }
}

}  // namespace
