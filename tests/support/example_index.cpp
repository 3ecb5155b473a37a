// Test support: the pages, settings and template of the example index.
#include "support/example_index.h"

namespace testsupport {

namespace {

enum Category { kHiveCare = 0, kHoneyAndWax = 1, kBeeBiology = 2 };
enum Season { kSpring = 0, kSummer = 1, kAutumn = 2, kWinter = 3 };

struct Note {
    const char *slug;
    const char *title;
    const char *description;
    const char *image;
    uint32_t date;
    std::vector<int> categories;
    const char *author;
    int season;
    uint32_t minutes;
    const char *text;
};

const Note kNotes[] = {
    {"inspecting-a-hive",
     "Inspecting a hive",
     "What to look for when you open a colony.",
     "",
     1681300800,
     {kHiveCare},
     "Margaret Hale",
     kSpring,
     4,
     "Open the hive on a warm, calm afternoon when most foragers are out. Smoke the entrance "
     "gently, wait a minute, then lift the crown board. Work from one side of the brood box to "
     "the other and hold each frame over the box, so that a dropped queen falls back inside. Look "
     "for eggs standing upright in the cells: they prove that the queen was laying three days "
     "ago. A good brood pattern is compact, with few empty cells. Note the stores, the space left "
     "for the queen to lay, and any queen cells along the bottom bars. Close the hive within "
     "twenty minutes; a long inspection chills the brood."},
    {"feeding-in-autumn",
     "Feeding bees in autumn",
     "Heavy syrup before the cold arrives.",
     "",
     1694692800,
     {kHiveCare},
     "Margaret Hale",
     kAutumn,
     3,
     "After the last honey is taken, a colony needs about twenty kilograms of stores to see it "
     "through winter. Heft the hive from behind: a light hive needs feeding. Mix two parts of "
     "white sugar with one part of warm water and give the syrup in a contact feeder over the "
     "crown board. Feed in the evening, so that robbing bees from other hives are not drawn in. "
     "Stop feeding when the nights turn cold, because the bees can no longer evaporate the water "
     "and the syrup may ferment in the comb."},
    {"preventing-swarms",
     "Preventing swarms",
     "Room, queen cells and the artificial swarm.",
     "http://localhost/notes/images/swarm.jpg",
     1683806400,
     {kHiveCare, kBeeBiology},
     "Tom Okafor",
     kSpring,
     5,
     "Swarming is how a colony reproduces: the old queen leaves with half the workers, and a new "
     "queen takes over the hive. A crowded brood nest and a young, strong colony make swarming "
     "likely in May and June. Give room early by adding a super before the bees need it. Inspect "
     "every seven days and look for charged queen cells. When you find them, an artificial swarm "
     "keeps the bees in your apiary: move the old queen to a new box on the original site, and the "
     "flying bees will join her there."},
    {"varroa-mites",
     "Treating varroa mites",
     "Counting mites and choosing a treatment.",
     "",
     1692446400,
     {kHiveCare},
     "Tom Okafor",
     kSummer,
     4,
     "The varroa mite feeds on developing bees and spreads viruses that cripple them. Every "
     "colony carries some mites; the question is how many. Count the natural mite drop on a "
     "sticky board under an open mesh floor for a week. A daily drop of more than ten in late "
     "summer calls for treatment before the winter bees are raised. Treat all the hives of an "
     "apiary at the same time, follow the label, and remove the honey supers first so that no "
     "residue reaches the honey."},
    {"wintering",
     "Wintering the colony",
     "Mouse guards, ventilation and patience.",
     "",
     1700053200,
     {kHiveCare},
     "Margaret Hale",
     kWinter,
     3,
     "In winter the bees form a cluster and keep its centre warm by shivering their flight "
     "muscles. They do not heat the whole hive, so a draught-free box matters more than "
     "insulation. Fit a mouse guard in October and tilt the hive slightly forward, so that "
     "condensation runs out of the entrance. On a mild day the bees make cleansing flights. "
     "Leave the colony alone: every opening breaks the cluster. In February, heft the hive again "
     "and give fondant if the stores are low."},
    {"extracting-honey",
     "Extracting honey",
     "From capped frames to the settling tank.",
     "http://localhost/notes/images/extractor.jpg",
     1690200000,
     {kHoneyAndWax},
     "Priya Nair",
     kSummer,
     5,
     "Take only frames that are at least three quarters capped; uncapped honey holds too much "
     "water and will ferment. Clear the bees from the supers with a clearer board the day before. "
     "Slice the cappings off with a warm knife, load the frames into the extractor and spin them "
     "slowly at first, so that the heavy comb does not break. Strain the honey through a coarse "
     "and then a fine filter into a settling tank. After a day the air bubbles rise, and the honey "
     "is ready for jars."},
    {"crystallised-honey",
     "Why honey crystallises",
     "Glucose, temperature and soft set honey.",
     "",
     1697371200,
     {kHoneyAndWax},
     "Priya Nair",
     kAutumn,
     2,
     "Honey is a supersaturated solution of sugars, and sooner or later the glucose crystallises. "
     "Honey from oilseed rape sets within days; acacia honey stays runny for years, because it "
     "holds more fructose. Crystals form fastest at about fourteen degrees. Set honey is not "
     "spoiled: warm the jar gently in water below forty degrees and it turns liquid again. To make "
     "a smooth soft set honey, stir in a little finely crystallised honey as a seed and keep the "
     "jar cool while the fine crystals grow."},
    {"rendering-wax",
     "Rendering beeswax",
     "Cleaning cappings and old comb.",
     "",
     1699531200,
     {kHoneyAndWax},
     "Tom Okafor",
     kAutumn,
     4,
     "Cappings give the cleanest wax. Wash them to remove the honey, then melt them slowly in "
     "water, never over a direct flame, because wax is flammable. Pour the melted wax through a "
     "cloth into a container and let it cool slowly; the dirt settles at the bottom of the block "
     "and can be scraped away. Old brood comb yields less wax, since the cocoons of many "
     "generations of larvae soak it up. A solar wax extractor in the sun does the work for free "
     "in summer."},
    {"beeswax-candles",
     "Making beeswax candles",
     "Wicks, moulds and a slow pour.",
     "http://localhost/notes/images/candles.jpg",
     1702814400,
     {kHoneyAndWax},
     "Priya Nair",
     kWinter,
     3,
     "Beeswax candles burn longer than paraffin ones and smell faintly of honey. Choose a square "
     "braided wick sized for the diameter of the candle: too thin a wick drowns in the melted "
     "pool, too thick a wick smokes. Heat the wax to about seventy degrees in a double boiler, "
     "pour it into a silicone mould, and top up the hollow that forms around the wick as the wax "
     "cools. Leave the candle for a day before you unmould it, and trim the wick to a centimetre."},
    {"worker-bee",
     "The life of a worker bee",
     "From cleaning cells to foraging.",
     "",
     1684411200,
     {kBeeBiology},
     "Tom Okafor",
     kSpring,
     4,
     "A worker bee emerges twenty-one days after the egg was laid. Her first job is cleaning "
     "cells; then she feeds larvae with brood food from glands in her head. Around her twelfth "
     "day her wax glands are at their best and she builds comb. Later she guards the entrance, "
     "and in the last weeks of her life she forages for nectar, pollen, water and propolis. A "
     "summer worker lives about six weeks, worn out by flying; the winter bees raised in autumn "
     "live for months."},
    {"raising-a-queen",
     "How a queen is raised",
     "Royal jelly and the queen cell.",
     "",
     1685620800,
     {kBeeBiology},
     "Margaret Hale",
     kSummer,
     4,
     "Any fertilised egg can become a queen or a worker; the food decides. A larva destined to be "
     "a queen is fed royal jelly throughout her growth in a large cell that hangs down from the "
     "comb. She emerges after only sixteen days, seeks out rival queen cells and stings their "
     "occupants. About a week later she flies out to mate, returns, and begins to lay. A colony "
     "that loses its queen raises a new one from young larvae in worker cells, drawing the cells "
     "out into emergency queen cells."},
    {"drones",
     "Drones and mating flights",
     "Why a colony raises males.",
     "",
     1687003200,
     {kBeeBiology},
     "Priya Nair",
     kSummer,
     3,
     "Drones are the male bees. They grow from unfertilised eggs, have large eyes for spotting a "
     "queen in flight, and have no sting. Drones do no work in the hive; their only task is to "
     "mate. On warm afternoons they gather at drone congregation areas, often the same places "
     "year after year, and wait for young queens. A drone dies in the act of mating. In autumn, "
     "when food runs short, the workers drag the remaining drones out of the hive."},
};

const std::vector<std::pair<const char *, const char *>> kSettingKeys = {
    {"UseUTF8", "1"},
    {"Charset", "\"utf-8\""},
    {"Codepage", "0"},
    {"UseStemming", "1"},
    {"StemmingAlgo", "2"},
    {"NoCharset", "0"},
    {"MinWordLen", "1"},
    {"Highlighting", "1"},
    {"HighlightLimit", "30"},
    {"GotoHighlight", "0"},
    {"PdfHighlight", "0"},
    {"FormFormat", "2"},
    {"DisplayMetaDesc", "1"},
    {"DisplayMetaFields", "1"},
    {"DotNetUseFormTags", "1"},
    {"DotNetUsePostBacks", "0"},
    {"UseDateTime", "1"},
    {"DisplayDate", "1"},
    {"DefaultSort", "0"},
    {"DateRangeSearch", "0"},
    {"DateRangeFormat", "0"},
    {"UseAutoComplete", "1"},
    {"DisplayContext", "1"},
    {"DisplayNumber", "0"},
    {"DisplayTitle", "1"},
    {"DisplayTerms", "0"},
    {"DisplayScore", "0"},
    {"DisplayURL", "1"},
    {"TruncateShowURL", "0"},
    {"DisplayFilesize", "0"},
    {"UseVeskImage", "0"},
    {"DisplayCatSummary", "1"},
    {"Version", "\"1.0\""},
    {"Logging", "0"},
    {"VeskInfo", "1"},
    {"Timing", "0"},
    {"SearchAsSubstring", "0"},
    {"ToLowerSearchWords", "1"},
    {"ContextSize", "30"},
    {"MaxContextKeywords", "3"},
    {"MaxResultsPerQuery", "1000"},
    {"WeightProximity", "0"},
    {"AllowExactPhrase", "1"},
    {"MaxContextSeeks", "500"},
    {"MaxMatches", "100000"},
    {"MaxSearchTime", "30"},
    {"UseLinkTarget", "0"},
    {"WordJoinChars", "\"-'\""},
    {"SpellingWhenLessThan", "2"},
    {"RecommendedMax", "2"},
    {"SearchMultiCats", "0"},
    {"UseDomainDiversity", "0"},
    {"MaxDomainDiversity", "3"},
    {"DefaultToAnd", "0"},
    {"UseXML", "0"},
    {"XMLTitle", "\"Beekeeping Notes search\""},
    {"XMLDesc", "\"Search results from the Beekeeping Notes\""},
    {"XMLURL", "\"http://localhost/\""},
    {"XMLXSLTURL", "\"/search_feed.xsl\""},
    {"XMLHighlight", "0"},
    {"MetaMoneyShowDec", "0"},
    {"MapAccents", "0"},
};

}  // namespace

IndexSpec example_index() {
    IndexSpec spec;
    spec.settings.keys.clear();  // the example writes every key itself, in its own order
    for (const auto &key : kSettingKeys) spec.settings.keys.emplace_back(key.first, key.second);
    spec.settings.texts["STR_FORM_CATEGORY_ALL"] = "All";
    spec.settings.texts["STR_POWEREDBY"] = "Search powered by";
    spec.settings.texts["STR_MAX_RESULTS"] = "This page is beyond the last page of results.";
    spec.settings.texts["STR_CAT_SUMMARY"] = "Results by category:";
    // The information line shows the date and the address without a caption.
    spec.settings.texts["STR_RESULT_URL"] = "";
    // The page links write the arrows around these texts themselves.
    spec.settings.texts["STR_RESULT_PAGES_PREVIOUS"] = "Previous";
    spec.settings.texts["STR_RESULT_PAGES_NEXT"] = "Next";
    spec.template_text = kExampleTemplate;
    spec.categories = {"Hive care", "Honey and wax", "Bee biology"};
    spec.meta_fields = {
        MetaFieldSpec{1, "author", "Author", "Written by", 5, {}, -1},
        MetaFieldSpec{
            2, "season", "Season", "Season", 0, {"Spring", "Summer", "Autumn", "Winter"}, -1},
        MetaFieldSpec{0, "minutes", "Reading time (minutes)", "Reading time at most", 2, {}, -1},
    };
    spec.common_words = {"a", "and", "the", "of", "to"};
    // Stemming is on: words are stored under their stems, spellings as variants.
    spec.base_word = stemmed_base_word(spec.settings);
    spec.spelling = true;
    for (const Note &note : kNotes) {
        PageSpec page;
        page.url = std::string("http://localhost/notes/") + note.slug + ".html";
        page.title = note.title;
        page.description = note.description;
        page.image = note.image;
        page.date = note.date;
        page.size = (uint32_t)std::string(note.text).size();
        page.categories = note.categories;
        page.meta = {MetaValueSpec::of_text(note.author), MetaValueSpec::of_option(note.season),
                     MetaValueSpec::of_number(note.minutes)};
        page.words = split_words(note.text);
        spec.pages.push_back(page);
    }
    spec.pages[5].boost = 15;  // extracting honey: the page most visitors want
    spec.recommended = {{"honey,extracting,extractor", 5}, {"swarm,swarming", 2}};
    spec.autocomplete = {"honey",        "honey extractor", "hive",   "hive inspection",
                         "beeswax",      "beeswax candles", "swarm",  "swarming",
                         "queen",        "queen cells",     "varroa", "varroa mites",
                         "winter stores"};
    return spec;
}

}  // namespace testsupport
