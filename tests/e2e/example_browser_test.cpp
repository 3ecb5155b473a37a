// The example site in a real browser: lighttpd runs the program on a copy of
// examples/site and headless Chromium loads its pages at a phone's and a
// desktop's width. An inspector page of the same server holds the pages in
// frames and writes into its own document what a visitor relies on (labels,
// overflow, contrast, focus rings, the result blocks, the help texts, the
// autocomplete list driven by key events); the test reads the dumped DOM.
// Screenshots of the pages stay in test-artifacts/ beside the program.
#include <dirent.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/browser_fixture.h"

namespace {

const std::string kExampleDir = std::string(SITEQUERY_SOURCE_DIR) + "/examples/site";
const char kFeedStyleURL[] = "/search_feed.xsl";
const char kServedFeedStyleURL[] = "/cgi-bin/search_feed.xsl";
constexpr int kPhoneWidth = 390, kDesktopWidth = 1280;
const char kInspectorBudget[] = "--virtual-time-budget=6000";
// A run of the inspector loads many pages and waits for them in real time:
// on a busy machine, and with a sanitized program, it needs far longer than
// one page does.
constexpr int kInspectorSeconds = 150, kScreenshotSeconds = 90;

// Inspects every frame of the page once it has loaded, and runs the
// autocomplete steps in the frames marked data-autocomplete; writes one line
// "frame key value" per fact into <pre id="report">, then "done".
const char kInspectorScript[] = R"js(
var lines = [], pending = 0;
function report(name, key, value) { lines.push(name + ' ' + key + ' ' + String(value).replace(/\s+/g, '_')); }
function finish() {
  next();
  if (--pending > 0) return;
  lines.push('done');
  document.getElementById('report').textContent = lines.join('\n');
}
function visible(win, el) { return !!el && el.getClientRects().length > 0 && win.getComputedStyle(el).visibility !== 'hidden'; }
function rgba(text) {
  var n = text.match(/[\d.]+/g).map(Number);
  return {r: n[0], g: n[1], b: n[2], a: n.length > 3 ? n[3] : 1};
}
function luminance(c) {
  function channel(v) { v /= 255; return v <= 0.03928 ? v / 12.92 : Math.pow((v + 0.055) / 1.055, 2.4); }
  return 0.2126 * channel(c.r) + 0.7152 * channel(c.g) + 0.0722 * channel(c.b);
}
// The colour behind el: its own and its ancestors' backgrounds laid over each other.
function background(win, el) {
  var layers = [];
  for (var e = el; e; e = e.parentElement) {
    var c = rgba(win.getComputedStyle(e).backgroundColor);
    if (c.a > 0) layers.push(c);
    if (c.a >= 1) break;
  }
  var base = {r: 255, g: 255, b: 255};
  for (var i = layers.length - 1; i >= 0; i--) {
    var l = layers[i];
    base = {r: l.r * l.a + base.r * (1 - l.a), g: l.g * l.a + base.g * (1 - l.a), b: l.b * l.a + base.b * (1 - l.a)};
  }
  return base;
}
// The lowest contrast of any text on the page, as a share of what WCAG AA asks (1 = just enough).
function contrast(name, doc, win) {
  var worst = 1e9, what = '-', all = doc.body.querySelectorAll('*');
  for (var i = 0; i < all.length; i++) {
    var el = all[i];
    if (/^(SCRIPT|STYLE|SELECT|OPTION)$/.test(el.tagName)) continue;
    var text = false;
    for (var n = el.firstChild; n; n = n.nextSibling) if (n.nodeType === 3 && n.textContent.trim() !== '') text = true;
    if (el.tagName === 'INPUT') text = el.type === 'submit' || el.value !== '';
    if (!text || !visible(win, el)) continue;
    var box = el.getBoundingClientRect();
    if (box.right < 0 || box.bottom < 0) continue;  // the skip link waits off the page
    var style = win.getComputedStyle(el), fg = luminance(rgba(style.color)), bg = luminance(background(win, el));
    var ratio = (Math.max(fg, bg) + 0.05) / (Math.min(fg, bg) + 0.05);
    var size = parseFloat(style.fontSize), large = size >= 24 || (parseInt(style.fontWeight, 10) >= 700 && size >= 18.66);
    var share = ratio / (large ? 3 : 4.5);
    if (share < worst) { worst = share; what = el.tagName + '.' + el.className + '=' + ratio.toFixed(2); }
  }
  report(name, 'contrast', worst.toFixed(2));
  report(name, 'contrast_worst', what);
}
function inspect(name, frame) {
  var doc = frame.contentDocument, win = frame.contentWindow, root = doc.documentElement;
  report(name, 'overflow', root.scrollWidth - root.clientWidth);
  report(name, 'dark', win.matchMedia('(prefers-color-scheme: dark)').matches ? 1 : 0);
  var unlabelled = [], controls = doc.querySelectorAll('input, select');
  for (var i = 0; i < controls.length; i++)
    if (!/^(hidden|submit)$/.test(controls[i].type) && controls[i].labels.length === 0) unlabelled.push(controls[i].id || controls[i].name);
  report(name, 'unlabelled', unlabelled.join(',') || '-');
  var blocks = doc.querySelectorAll('.result_block, .result_altblock'), gap = 1e9, framed = 0;
  for (var b = 0; b < blocks.length; b++) {
    if (b > 0) gap = Math.min(gap, blocks[b].getBoundingClientRect().top - blocks[b - 1].getBoundingClientRect().bottom);
    if (parseFloat(win.getComputedStyle(blocks[b]).borderTopWidth) > 0) framed++;
  }
  report(name, 'blocks', blocks.length + '/' + framed + '/' + doc.querySelectorAll('.result_title a[href]').length);
  report(name, 'block_gap', blocks.length > 1 ? Math.round(gap) : '-');
  var suggestion = doc.querySelector('.suggestion a');
  report(name, 'suggestion', visible(win, suggestion) ? suggestion.textContent : '-');
  report(name, 'intro', visible(win, doc.querySelector('.intro')) ? 1 : 0);
  report(name, 'noresults', visible(win, doc.querySelector('.noresults')) ? 1 : 0);
  var body = win.getComputedStyle(doc.body);
  report(name, 'type', parseFloat(body.fontSize) + '/' + (parseFloat(body.lineHeight) / parseFloat(body.fontSize)).toFixed(2));
  contrast(name, doc, win);
  var unringed = [];
  ['#vesk_searchbox', '.vesk_button', '.result_title a', '.suggestion a', 'summary', '.result_pages a'].forEach(function (selector) {
    var el = doc.querySelector(selector);
    if (!visible(win, el)) return;
    el.focus();
    var style = win.getComputedStyle(el);
    if (doc.activeElement !== el || style.outlineStyle === 'none' || parseFloat(style.outlineWidth) < 2) unringed.push(selector);
  });
  report(name, 'no_focus_ring', unringed.join(',') || '-');
  doc.activeElement.blur();
}
function waitFor(test, then, name) {
  var tries = 0;
  (function poll() {
    if (test()) then();
    else if (++tries < 60) setTimeout(poll, 50);
    else { report(name, 'timeout', 1); finish(); }
  })();
}
function press(box, key) { box.dispatchEvent(new KeyboardEvent('keydown', {key: key, bubbles: true, cancelable: true})); }
function type(box, text) { box.focus(); box.value = text; box.dispatchEvent(new Event('input', {bubbles: true})); }
// Types into the search box, walks the list with the arrow keys, closes it
// with Escape, then takes a suggestion with Enter.
function autocomplete(name, frame) {
  var doc = frame.contentDocument, box = doc.getElementById('vesk_searchbox');
  var list = function () { return doc.getElementById(box.getAttribute('aria-controls') || '-'); };
  var open = function () { var l = list(); return !!l && !l.hidden && l.children.length > 0; };
  var marked = function () {
    var option = doc.getElementById(box.getAttribute('aria-activedescendant') || '-');
    return option ? option.textContent + ':' + option.getAttribute('aria-selected') : '-';
  };
  report(name, 'ac_box', box.getAttribute('role') + '/' + box.getAttribute('aria-autocomplete'));
  type(box, 'hon');
  waitFor(open, function () {
    var l = list(), b = box.getBoundingClientRect(), r = l.getBoundingClientRect(), options = [];
    for (var i = 0; i < l.children.length; i++) options.push(l.children[i].getAttribute('role') + ':' + l.children[i].textContent);
    report(name, 'ac_list', l.getAttribute('role') + '/' + box.getAttribute('aria-expanded') + '/' + options.join('|'));
    report(name, 'ac_place', Math.round(r.left - b.left) + ',' + Math.round(r.top - b.bottom) + ',' + Math.round(r.width - b.width));
    report(name, 'ac_status', doc.querySelector('[role=status]').textContent);
    press(box, 'ArrowDown');
    report(name, 'ac_down', marked());
    press(box, 'ArrowDown');
    report(name, 'ac_down_again', marked());
    press(box, 'ArrowUp');
    report(name, 'ac_up', marked());
    press(box, 'Escape');
    report(name, 'ac_escape', l.hidden + '/' + box.getAttribute('aria-expanded') + '/' + marked() + '/' + box.value);
    type(box, 'hon');
    waitFor(open, function () {
      frame.addEventListener('load', function () {
        report(name, 'ac_enter', new URLSearchParams(frame.contentWindow.location.search).get('vesk_query'));
        finish();
      }, {once: true});
      press(box, 'ArrowDown');
      press(box, 'Enter');
    }, name);
  }, name);
}
// The autocomplete frames one after the other: one box at a time has the focus.
var queue = [];
function next() {
  var frame = queue.shift();
  if (!frame) return;
  frame.addEventListener('load', function () { autocomplete(frame.id, frame); }, {once: true});
  frame.src = frame.dataset.src;
}
var frames = document.getElementsByTagName('iframe');
pending = frames.length;
for (var f = 0; f < frames.length; f++) {
  (function (frame) {
    if (frame.dataset.autocomplete) { queue.push(frame); return; }
    frame.addEventListener('load', function () { inspect(frame.id, frame); finish(); }, {once: true});
    frame.src = frame.dataset.src;
  })(frames[f]);
}
next();
)js";

// One page of the example site in a frame of the inspector.
struct Frame {
    std::string name, query;
    int width;
    bool autocomplete;
};

class ExampleSiteBrowser : public browsertest::BrowserFixture {
   protected:
    // A copy of examples/site whose feed names its style sheet at the
    // address this server gives it.
    void write_site(const std::string &index_dir) override {
        DIR *dir = opendir(kExampleDir.c_str());
        ASSERT_NE(dir, nullptr);
        while (dirent *entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name[0] == '.') continue;
            std::string bytes = testsupport::read_file(kExampleDir + "/" + name);
            if (name == "settings.vdat") {
                const size_t at = bytes.find(kFeedStyleURL);
                ASSERT_NE(at, std::string::npos) << "the example's XMLXSLTURL";
                bytes.replace(at, sizeof kFeedStyleURL - 1, kServedFeedStyleURL);
            }
            testsupport::write_file(index_dir, name, bytes);
        }
        closedir(dir);
        serve_file("search_feed.xsl", "text/xsl",
                   testsupport::read_file(kExampleDir + "/search_feed.xsl"));
    }

    // Loads the frames into the inspector page and returns its facts, by
    // "frame key"; "done" is there when every frame was inspected.
    std::map<std::string, std::string> inspect(const std::vector<Frame> &frames,
                                               const std::vector<std::string> &flags = {}) {
        std::string page = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"></head><body>\n";
        for (const Frame &frame : frames)
            page += "<iframe id=\"" + frame.name +
                    "\" style=\"width:" + std::to_string(frame.width) +
                    "px;height:900px;border:0\" data-src=\"" + "/cgi-bin/sitequery?" + frame.query +
                    "\"" + (frame.autocomplete ? " data-autocomplete=\"1\"" : "") + "></iframe>\n";
        page += "<pre id=\"report\"></pre>\n<script>" + std::string(kInspectorScript) +
                "</script>\n</body></html>\n";
        serve_file("inspector", "text/html", page);
        std::vector<std::string> mode = {"--dump-dom", "--hide-scrollbars", kInspectorBudget,
                                         "--window-size=1400,1000"};
        mode.insert(mode.end(), flags.begin(), flags.end());
        const std::string document =
            browse(origin() + "/cgi-bin/inspector", mode, kInspectorSeconds);
        std::map<std::string, std::string> facts;
        const size_t start = document.find("<pre id=\"report\">");
        if (start == std::string::npos) return facts;
        std::istringstream lines(
            document.substr(start + 17, document.find("</pre>", start) - start - 17));
        std::string line;
        while (std::getline(lines, line)) {
            const size_t second = line.find(' ', line.find(' ') + 1);
            facts[line.substr(0, second)] =
                second == std::string::npos ? "" : line.substr(second + 1);
        }
        return facts;
    }

    // One screenshot: of target at width x height into test-artifacts/name.
    struct Shot {
        std::string name, target;
        int width, height;
        std::vector<std::string> flags;
    };
    // Takes the screenshots one after the other (browsers at once are no
    // faster on a busy machine) and checks that each is a picture.
    void screenshots(const std::vector<Shot> &shots) {
        for (const Shot &shot : shots) {
            const std::string file = artifacts_dir() + "/" + shot.name;
            remove(file.c_str());
            std::vector<std::string> mode = {
                "--screenshot=" + file, "--hide-scrollbars",
                "--window-size=" + std::to_string(shot.width) + "," + std::to_string(shot.height)};
            mode.insert(mode.end(), shot.flags.begin(), shot.flags.end());
            browse(shot.target, mode, kScreenshotSeconds);
            const std::string png = testsupport::read_file(file);
            EXPECT_GT(png.size(), 10000u) << file;
            EXPECT_EQ(png.compare(0, 4, "\x89PNG"), 0) << file;
            RecordProperty(shot.name, file);
        }
    }
};

double number(const std::string &text) {
    return text.empty() ? -1 : atof(text.c_str());
}

// What a visitor meets on the empty page, a results page and a page without
// results, each at a phone's and a desktop's width.
TEST_F(ExampleSiteBrowser, PagesServeVisitorsAtPhoneAndDesktopWidths) {
    const struct {
        const char *name, *query;
        int intro, noresults, blocks;
        const char *suggestion;
    } pages[] = {{"empty", "", 1, 0, 0, "-"},
                 {"results", "vesk_query=honey", 0, 0, 6, "-"},
                 {"none", "vesk_query=candels", 0, 1, 0, "candles"}};
    std::vector<Frame> frames;
    for (const auto &page : pages)
        for (int width : {kPhoneWidth, kDesktopWidth})
            frames.push_back(
                {std::string(page.name) + std::to_string(width), page.query, width, false});
    std::map<std::string, std::string> facts = inspect(frames);
    ASSERT_EQ(facts.count("done"), 1u) << "the inspector did not finish";
    for (const auto &page : pages)
        for (int width : {kPhoneWidth, kDesktopWidth}) {
            const std::string frame = std::string(page.name) + std::to_string(width) + " ";
            SCOPED_TRACE(frame);
            EXPECT_EQ(facts[frame + "overflow"], "0") << "wider than the window";
            EXPECT_EQ(facts[frame + "unlabelled"], "-") << "controls without a label";
            EXPECT_EQ(facts[frame + "intro"], std::to_string(page.intro)) << "search tips";
            EXPECT_EQ(facts[frame + "noresults"], std::to_string(page.noresults))
                << "no-results help";
            EXPECT_EQ(facts[frame + "suggestion"], page.suggestion) << "spelling suggestion";
            const std::string all = std::to_string(page.blocks);
            EXPECT_EQ(facts[frame + "blocks"], all + "/" + all + "/" + all)
                << "framed, linked blocks";
            if (page.blocks > 1) {
                EXPECT_GE(number(facts[frame + "block_gap"]), 8) << "blocks apart";
            }
            EXPECT_GE(number(facts[frame + "type"]), 16) << "body text size";
            EXPECT_GE(number(facts[frame + "type"].substr(facts[frame + "type"].find('/') + 1)),
                      1.4)
                << "line height";
            EXPECT_GE(number(facts[frame + "contrast"]), 1.0) << facts[frame + "contrast_worst"];
            EXPECT_EQ(facts[frame + "no_focus_ring"], "-") << "focus without a visible ring";
            EXPECT_EQ(facts[frame + "dark"], "0");
        }
}

// The dark colour scheme keeps every text readable.
TEST_F(ExampleSiteBrowser, DarkSchemeKeepsContrast) {
    std::vector<Frame> frames = {
        {"results", "vesk_query=honey&vesk_per_page=2", kDesktopWidth, false},
        {"none", "vesk_query=candels", kPhoneWidth, false},
        {"empty", "", kPhoneWidth, false}};
    std::map<std::string, std::string> facts = inspect(frames, {"--force-dark-mode"});
    ASSERT_EQ(facts.count("done"), 1u) << "the inspector did not finish";
    for (const Frame &frame : frames) {
        EXPECT_EQ(facts[frame.name + " dark"], "1") << frame.name;
        EXPECT_GE(number(facts[frame.name + " contrast"]), 1.0)
            << frame.name << ": " << facts[frame.name + " contrast_worst"];
        EXPECT_EQ(facts[frame.name + " no_focus_ring"], "-") << frame.name;
    }
}

// The autocomplete list is a list box under the search box, as wide as it,
// announced to screen readers and used with the arrow keys, Escape and Enter.
TEST_F(ExampleSiteBrowser, AutocompleteListWorksFromTheKeyboard) {
    std::vector<Frame> frames = {{"phone", "vesk_query=wax", kPhoneWidth, true},
                                 {"desktop", "", kDesktopWidth, true}};
    std::map<std::string, std::string> facts = inspect(frames);
    ASSERT_EQ(facts.count("done"), 1u) << "the inspector did not finish";
    for (const Frame &frame : frames) {
        const std::string at = frame.name + " ";
        SCOPED_TRACE(frame.name);
        EXPECT_EQ(facts.count(at + "timeout"), 0u) << "the list did not open";
        EXPECT_EQ(facts[at + "ac_box"], "combobox/list");
        EXPECT_EQ(facts[at + "ac_list"], "listbox/true/option:honey|option:honey_crystallises");
        EXPECT_EQ(facts[at + "ac_place"], "0,4,0") << "left, gap and width against the box";
        EXPECT_EQ(facts[at + "ac_status"],
                  "2_suggestions,_use_the_up_and_down_arrow_keys_to_choose.");
        EXPECT_EQ(facts[at + "ac_down"], "honey:true");
        EXPECT_EQ(facts[at + "ac_down_again"], "honey_crystallises:true");
        EXPECT_EQ(facts[at + "ac_up"], "honey:true");
        EXPECT_EQ(facts[at + "ac_escape"], "true/false/-/hon") << "closed, the typed text kept";
        EXPECT_EQ(facts[at + "ac_enter"], "honey") << "Enter searches for the marked suggestion";
    }
}

// The RSS answer names its XSL style sheet; a browser shows it as a list of
// the results with their links.
TEST_F(ExampleSiteBrowser, FeedShowsAsAListThroughItsStyleSheet) {
    const std::string document =
        browse(url("vesk_query=honey&vesk_xml=1"), {"--dump-dom"}, kScreenshotSeconds);
    EXPECT_NE(document.find("Results for “honey”</h1>"), std::string::npos) << document;
    EXPECT_NE(document.find("6 pages found"), std::string::npos) << document;
    size_t items = 0;
    for (size_t at = document.find("<a class=\"title\" href=\"http://localhost/notes/");
         at != std::string::npos; at = document.find("<a class=\"title\" href=\"http", at + 1))
        items++;
    EXPECT_EQ(items, 6u) << document;
    EXPECT_NE(document.find(">Why honey crystallises</a>"), std::string::npos);
}

// Screenshots to look at: the empty page, a results page and a page without
// results at a desktop's width, and the results and no-results pages at a
// phone's width.
TEST_F(ExampleSiteBrowser, ScreenshotsOfThePages) {
    screenshots({
        {"example_empty.png", url(""), kDesktopWidth, 900, {}},
        {"example_results.png", url("vesk_query=honey"), kDesktopWidth, 1500, {}},
        {"example_no_results.png", url("vesk_query=candels"), kDesktopWidth, 900, {}},
        {"example_phone_results.png", url("vesk_query=honey"), kPhoneWidth, 1500, {}},
        {"example_phone_no_results.png", url("vesk_query=candels"), kPhoneWidth, 1000, {}},
    });
}

// Screenshots of the dark scheme, the open autocomplete list and the feed
// through its style sheet.
TEST_F(ExampleSiteBrowser, ScreenshotsOfDarkSchemeSuggestionsAndFeed) {
    serve_file("suggesting", "text/html",
               "<!DOCTYPE html>\n<html><body style=\"margin:0\"><iframe id=\"f\" "
               "style=\"width:100%;height:100vh;border:0\" src=\"/cgi-bin/sitequery\"></iframe>"
               "<script>var f = document.getElementById('f');\n"
               "f.addEventListener('load', function () {\n"
               "  var box = f.contentDocument.getElementById('vesk_searchbox');\n"
               "  box.focus(); box.value = 'hive'; box.dispatchEvent(new Event('input'));\n"
               "  setTimeout(function () { box.dispatchEvent(new KeyboardEvent('keydown', "
               "{key: 'ArrowDown'})); }, 1500);\n"
               "});</script></body></html>\n");
    screenshots({
        {"example_dark_results.png",
         url("vesk_query=honey&vesk_per_page=3"),
         kDesktopWidth,
         1300,
         {"--force-dark-mode"}},
        {"example_autocomplete.png",
         origin() + "/cgi-bin/suggesting",
         kDesktopWidth,
         600,
         {"--virtual-time-budget=4000"}},
        {"example_feed.png", url("vesk_query=honey&vesk_xml=1"), kDesktopWidth, 1100, {}},
    });
}

}  // namespace
