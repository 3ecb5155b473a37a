// Test support: the page template of the example site. The search program
// fills its markers (the form in parts, the heading, summary, suggestions,
// results and page links); its style sheet lays the page out for phones and
// desktops in a light and a dark colour scheme, and its script adds the
// roles that the program's markup leaves to the page. Not part of the program.
#include "support/example_index.h"

namespace testsupport {

const char kExampleTemplate[] = R"page(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<meta name="color-scheme" content="light dark">
<title>Search the Beekeeping Notes</title>
<style>
:root {
  color-scheme: light dark;
  --bg: #f7f6f2; --surface: #ffffff; --text: #1d2125; --muted: #535a62;
  --border: #d5d3cc; --link: #0a58b8; --visited: #6b3fa8; --accent: #8a4b00;
  --accent-bg: #fff4dc; --accent-border: #e3b65a; --mark: #ffe27a; --mark-text: #1d2125;
  --button: #0a58b8; --button-text: #ffffff; --focus: #0a58b8; --active-bg: #e4eefb;
  --shadow: 0 1px 2px rgba(0, 0, 0, .06), 0 2px 8px rgba(0, 0, 0, .05);
}
@media (prefers-color-scheme: dark) {
  :root {
    --bg: #121416; --surface: #1b1f23; --text: #e7e9ec; --muted: #a9b0b8;
    --border: #353b42; --link: #8cb8ff; --visited: #c5a8ff; --accent: #ffc56b;
    --accent-bg: #2b2313; --accent-border: #7a5a1f; --mark: #6b5200; --mark-text: #fff6dc;
    --button: #8cb8ff; --button-text: #0d1117; --focus: #8cb8ff; --active-bg: #263449;
    --shadow: none;
  }
}
*, *::before, *::after { box-sizing: border-box; }
html { -webkit-text-size-adjust: 100%; }
body {
  margin: 0; background: var(--bg); color: var(--text);
  font: 1.0625rem/1.6 system-ui, -apple-system, "Segoe UI", Roboto, "Noto Sans", "DejaVu Sans", sans-serif;
}
a { color: var(--link); text-underline-offset: .15em; }
a:visited { color: var(--visited); }
a:hover { text-decoration-thickness: 2px; }
:focus-visible { outline: 3px solid var(--focus); outline-offset: 2px; border-radius: 3px; }
.wrap { max-width: 46rem; margin: 0 auto; padding: 0 1.25rem; }
.skip { position: absolute; left: -999px; top: .5rem; background: var(--surface); padding: .5rem 1rem; z-index: 20; }
.skip:focus { left: .5rem; }
.masthead { border-bottom: 1px solid var(--border); background: var(--surface); }
.masthead p { margin: 0; padding: .75rem 0; font-weight: 600; letter-spacing: .01em; }
.masthead span { color: var(--accent); }
h1 { font-size: 1.75rem; line-height: 1.25; margin: 2rem 0 1rem; }

/* The search form: the box and its button on one line, the options folded below. */
.searchrow { display: grid; grid-template-columns: minmax(0, 1fr) auto; gap: .35rem .5rem; align-items: end; }
.searchrow label { grid-column: 1 / -1; font-weight: 600; }
input, select, button { font: inherit; color: inherit; }
input[type="text"], select {
  width: 100%; min-height: 2.75rem; padding: .45rem .75rem; background: var(--surface);
  border: 1px solid var(--muted); border-radius: .5rem;
}
input.vesk_searchbox { font-size: 1.125rem; }
input.vesk_button {
  min-height: 2.75rem; padding: .45rem 1.25rem; border: 1px solid var(--button); border-radius: .5rem;
  background: var(--button); color: var(--button-text); font-weight: 600; cursor: pointer;
}
input.vesk_button:hover { filter: brightness(1.1); }
.options { margin: .75rem 0 0; }
.options summary { cursor: pointer; color: var(--link); width: max-content; padding: .25rem 0; }
.optiongrid {
  display: grid; grid-template-columns: repeat(auto-fit, minmax(12rem, 1fr)); gap: 1rem 1.5rem;
  margin-top: .5rem; padding: 1rem; background: var(--surface); border: 1px solid var(--border); border-radius: .75rem;
}
.optiongrid br { display: none; }
.vesk_results_per_page, .vesk_categories, .vesk_match { display: flex; flex-direction: column; gap: .35rem; }
.vesk_results_per_page, .vesk_categories { font-size: 0; }
.vesk_results_per_page > *, .vesk_categories > * { font-size: 1.0625rem; }
.vesk_match label { display: flex; align-items: center; gap: .5rem; }
.vesk_match input { width: 1.1rem; height: 1.1rem; margin: 0; }
.vesk_metaform {
  grid-column: 1 / -1; display: grid; grid-template-rows: auto auto; grid-auto-flow: column;
  grid-auto-columns: minmax(0, 1fr); gap: .35rem 1.5rem;
}
@media (max-width: 40rem) {
  .vesk_metaform { grid-template-rows: none; grid-auto-flow: row; }
  .vesk_metaform select { margin-bottom: .65rem; }
  .vesk_metaform input[type="text"]:not(:last-child) { margin-bottom: .65rem; }
}

/* What the search found. */
.resultarea { margin: 1.75rem 0 3rem; }
.searchheading { font-size: 1.25rem; font-weight: 600; margin: 0 0 .25rem; overflow-wrap: anywhere; }
.searchheading br, .suggestion > br:first-child, .cat_summary br, .result_pagescount br { display: none; }
.summary { color: var(--muted); margin: 0 0 1rem; }
.summary br:last-child { display: none; }
.suggestion {
  margin: 0 0 1rem; padding: .85rem 1rem; background: var(--accent-bg); border: 1px solid var(--accent-border);
  border-left-width: 6px; border-radius: .5rem; font-size: 1.125rem;
}
.suggestion a { font-weight: 700; }
.cat_summary { margin: 0 0 1rem; color: var(--muted); }
.cat_summary ul { display: inline-flex; flex-wrap: wrap; gap: .4rem; list-style: none; margin: 0 0 0 .4rem; padding: 0; }
.cat_summary li { padding: .1rem .65rem; border: 1px solid var(--border); border-radius: 999px; background: var(--surface); }
.recommended { margin: 0 0 1.25rem; padding: 1rem 1.25rem; border: 1px solid var(--accent-border); border-radius: .75rem; background: var(--accent-bg); }
.recommended_heading { font-size: .875rem; font-weight: 700; text-transform: uppercase; letter-spacing: .06em; color: var(--accent); }
.recommend_block + .recommend_block { margin-top: .75rem; }
.recommend_title { font-size: 1.125rem; font-weight: 600; }
.recommend_infoline { color: var(--muted); font-size: .875rem; overflow-wrap: anywhere; }
.toolbar { display: flex; flex-wrap: wrap; justify-content: space-between; gap: .5rem 1rem; color: var(--muted); font-size: .9375rem; margin: 0 0 .75rem; }
.sorting b { font-weight: 600; color: var(--text); }
.results { display: flex; flex-direction: column; gap: .9rem; }
.result_block, .result_altblock {
  padding: 1rem 1.25rem; background: var(--surface); border: 1px solid var(--border); border-radius: .75rem;
  box-shadow: var(--shadow); overflow-wrap: anywhere;
}
.result_title { font-size: 1.1875rem; line-height: 1.35; font-weight: 600; }
.result_title a { text-decoration: none; }
.result_title a:hover, .result_title a:focus-visible { text-decoration: underline; }
.result_title .category { display: block; font-size: .875rem; font-weight: 400; color: var(--accent); margin-top: .15rem; }
.result_custommeta { display: inline-block; margin: .35rem 1.1rem 0 0; font-size: .875rem; color: var(--muted); }
.result_custommeta span:last-child { color: var(--text); }
.description { margin-top: .5rem; }
.context { margin-top: .35rem; color: var(--muted); }
.context b { font-weight: 400; }
.infoline { margin-top: .5rem; font-size: .875rem; color: var(--muted); }
.infoline:empty { display: none; }
.highlight { background: var(--mark); color: var(--mark-text); border-radius: .2em; padding: 0 .12em; }
.result_pages { margin: 1.5rem 0 0; display: flex; flex-wrap: wrap; align-items: center; gap: .4rem; color: var(--muted); }
.result_pages a {
  display: inline-block; min-width: 2.75rem; min-height: 2.75rem; padding: .55rem .8rem; text-align: center; line-height: 1.6;
  border: 1px solid var(--border); border-radius: .5rem; background: var(--surface); text-decoration: none;
}
.result_pages .current {
  display: inline-block; min-width: 2.75rem; padding: .55rem .8rem; text-align: center; line-height: 1.6;
  border-radius: .5rem; background: var(--button); color: var(--button-text); font-weight: 700;
}
.resultarea center { margin-top: 2rem; color: var(--muted); }

/* Help on the first page, and when nothing is found. */
.tips { margin: 0; padding: 1.25rem 1.5rem; background: var(--surface); border: 1px solid var(--border); border-radius: .75rem; }
.tips h2 { font-size: 1.125rem; margin: 0 0 .5rem; }
.tips ul { margin: .5rem 0 0; padding-left: 1.25rem; }
.tips li + li { margin-top: .25rem; }
.tips p { margin: 0; }
.tryline li + li { margin-top: 0; }
.tryline { display: flex; flex-wrap: wrap; gap: .5rem; list-style: none; padding: 0 !important; }
.tryline a { display: inline-block; padding: .3rem .85rem; border: 1px solid var(--border); border-radius: 999px; text-decoration: none; }
.searchheading ~ .intro { display: none; }
.noresults { display: none; }
.resultarea:has(.results):not(:has(.result_block, .result_altblock)) .noresults { display: block; }
@media (max-width: 40rem) {
  body { font-size: 1rem; }
  .wrap { padding: 0 1rem; }
  h1 { font-size: 1.5rem; margin-top: 1.25rem; }
  .result_block, .result_altblock { padding: .9rem 1rem; }
  .tips { padding: 1rem 1.1rem; }
}
</style>
</head>
<body>
<a class="skip" href="#results">Skip to the results</a>
<header class="masthead"><div class="wrap"><p><span aria-hidden="true">&#x2B22;</span> Beekeeping Notes</p></div></header>
<main class="wrap">
<h1>Search the notes</h1>
<div class="searchpanel" role="search">
<!--VESK_SHOW_FORMSTART-->
<div class="searchrow"><!--VESK_SHOW_SEARCHBOX--><!--VESK_SHOW_SEARCHBUTTON--></div>
<details class="options"><summary>Search options</summary>
<div class="optiongrid">
<!--VESK_SHOW_RESULTSPERPAGE--><!--VESK_SHOW_MATCHOPTIONS--><!--VESK_SHOW_CATEGORIES--><!--VESK_SHOW_CUSTOMMETAOPTIONS--><!--VESK_SHOW_DATERANGE-->
</div>
</details>
<!--VESK_SHOW_FORMEND-->
</div>
<div class="resultarea" id="results">
<!--VESK_SHOW_HEADING-->
<section class="tips intro" aria-labelledby="intro-heading">
<h2 id="intro-heading">Twelve notes on keeping bees</h2>
<p>Search the notes on hive care, honey and wax, and bee biology. Try one of these:</p>
<ul class="tryline">
<li><a href="?vesk_query=swarm">swarm</a></li>
<li><a href="?vesk_query=honey">honey</a></li>
<li><a href="?vesk_query=varroa+mites">varroa mites</a></li>
<li><a href="?vesk_query=%22queen+cells%22">"queen cells"</a></li>
</ul>
<ul>
<li>Words match in any form: <i>candle</i> finds <i>candles</i>.</li>
<li>Put a phrase in double quotes to find its words side by side.</li>
<li>Search options narrow the search by category, author, season or reading time.</li>
</ul>
</section>
<!--VESK_SHOW_SUMMARY-->
<!--VESK_SHOW_SUGGESTION-->
<section class="tips noresults" aria-labelledby="noresults-heading">
<h2 id="noresults-heading">No note matches that search</h2>
<ul>
<li>Check the spelling, or take the suggestion above when there is one.</li>
<li>Use fewer or more general words: <i>wax</i> rather than <i>wax melting point</i>.</li>
<li>Under Search options, choose "All" for the category and clear the other fields.</li>
</ul>
</section>
<!--VESK_SHOW_CATSUMMARY-->
<!--VESK_SHOW_RECOMMENDED-->
<div class="toolbar"><!--VESK_SHOW_PAGESCOUNT--><!--VESK_SHOW_SORTING--></div>
<!--VESK_SHOW_RESULTS-->
<!--VESK_SHOW_PAGENUMBERS-->
<!--VESK_SHOW_SEARCHTIME-->
</div>
</main>
<script>
// Roles that the program's markup leaves to the page, and the search options
// unfolded when the request chose any of them.
(function () {
  function each(selector, action) {
    var found = document.querySelectorAll(selector);
    for (var i = 0; i < found.length; i++) action(found[i]);
  }
  each('.searchheading', function (e) { e.setAttribute('role', 'heading'); e.setAttribute('aria-level', '2'); });
  each('.results', function (e) { e.setAttribute('role', 'list'); e.setAttribute('aria-label', 'Results'); });
  each('.result_block, .result_altblock', function (e) { e.setAttribute('role', 'listitem'); });
  each('.result_pages', function (e) {
    e.setAttribute('role', 'navigation');
    e.setAttribute('aria-label', 'Result pages');
    // The page shown is a bare number in the text: mark it as the current page.
    for (var n = e.firstChild; n; n = n.nextSibling) {
      var number = n.nodeType === 3 ? /^(.*?)(\d+)\s*$/.exec(n.textContent) : null;
      if (!number) continue;
      var current = document.createElement('span');
      current.className = 'current';
      current.setAttribute('aria-current', 'page');
      current.textContent = number[2];
      n.textContent = number[1];
      e.insertBefore(current, n.nextSibling);
      break;
    }
  });
  each('.vesk_match', function (e) { e.setAttribute('role', 'radiogroup'); e.setAttribute('aria-label', 'Match'); });
  var chosen = false;
  each('.optiongrid select', function (e) { if (e.selectedIndex > 0) chosen = true; });
  each('.optiongrid input[type="text"]', function (e) { if (e.value !== '') chosen = true; });
  each('#vesk_match_all', function (e) { if (e.checked) chosen = true; });
  each('details.options', function (e) { if (chosen) e.open = true; });
})();
</script>
</body>
</html>
)page";

}  // namespace testsupport
