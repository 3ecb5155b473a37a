#!/usr/bin/env python3
"""Relevance of sitequery against Xapian Omega on the same site folder.

Builds the indexes of one site folder (sitequery-index with stemming on and
with stemming off; omindex --spelling), draws three query sets from the pages
with a fixed seed and runs every query through both search programs' CGI
interfaces, one process per query as a web server would. Prints one table:

  known item  a page's rarest title words as the query, all of them required
              (Omega: DEFAULTOP=and); mean reciprocal rank of the page among
              the first 100 results, and how often it is among the first 3
              and the first 10
  phrase      three words in a row from a page's body, quoted; how often the
              page is among the first 100 results (one of the words is on at
              most kPhraseMaxPages pages, so a miss is a miss and no ranking)
  spelling    a word of 6+ letters found on 5+ pages, with one letter dropped,
              doubled, swapped with the next or replaced, that is on no page;
              how often the first "Did you mean" proposal is the word

Usage: python3 bench/relevance.py --site DIR [--work DIR] [options]
       (bench/relevance.sh lays out the corpus and runs this)
"""

import argparse
import collections
import html.parser
import multiprocessing
import os
import pickle
import random
import re
import shutil
import subprocess
import sys
import time
import urllib.parse
from concurrent.futures import ThreadPoolExecutor

BASE_URL = "http://localhost/doc/"
OMEGA_URL = "/doc/"
RESULTS = 100  # results asked of each program per query
PHRASE_MAX_PAGES = 50  # one phrase word is on at most this many pages
SPELL_MIN_LETTERS = 6
SPELL_MIN_PAGES = 5
INLINE = "\x01"  # where an inline element began or ended inside the text

# Elements whose content is no page text, and the inline ones (their tags do
# not separate words); every other element separates words.
SKIPPED = {"script", "style", "noscript", "template", "head"}
INLINE_TAGS = {"a", "abbr", "b", "bdi", "bdo", "cite", "code", "data", "dfn", "em", "font",
               "i", "kbd", "mark", "q", "s", "samp", "small", "span", "strong", "sub", "sup",
               "time", "tt", "u", "var", "big", "strike", "wbr"}
WORD = re.compile(r"[^\W_]+")
PURE = re.compile(r"[^\W_]+$")
LETTERS = re.compile(r"[a-z]+$")
TITLE_TOKEN = re.compile(r"[\w'\u2019]+")

OMEGA_TEMPLATE = ("$set{flag_spelling_correction,true}$set{flag_wildcard,true}"
                  "$hitlist{URL $field{url}\n}SUGGEST $suggestion\n")


class PageText(html.parser.HTMLParser):
    """The title and the body text of a page, inline tags marked by INLINE."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.title = []
        self.body = []
        self.skip = 0
        self.in_title = False

    def handle_starttag(self, tag, attrs):
        if tag == "title":
            self.in_title = True
        elif tag in SKIPPED:
            self.skip += 1
        self.body.append(INLINE if tag in INLINE_TAGS else " ")

    def handle_endtag(self, tag):
        if tag == "title":
            self.in_title = False
        elif tag in SKIPPED and self.skip > 0:
            self.skip -= 1
        self.body.append(INLINE if tag in INLINE_TAGS else " ")

    def handle_data(self, data):
        if self.in_title:
            self.title.append(data)
        elif self.skip == 0:
            self.body.append(data)


def read_page(args):
    site, rel = args
    try:
        with open(os.path.join(site, rel), "rb") as f:
            raw = f.read()
    except OSError:
        return None
    parser = PageText()
    try:
        parser.feed(raw.decode("utf-8", "replace"))
        parser.close()
    except Exception:  # a page the parser gives up on is left out of the draws
        return None
    title = " ".join("".join(parser.title).split())
    body = "".join(parser.body).split()
    return rel, title, body


def plain_word(chunk):
    """The chunk as a word when it is letters and digits only (inline marks at
    its ends aside), else None."""
    chunk = chunk.strip(INLINE)
    return chunk if PURE.match(chunk) else None


def title_words(title):
    """The title's words, lower case, each once; a word joined to others by an
    underscore or an apostrophe is left out (the programs split those
    differently)."""
    words = []
    for token in TITLE_TOKEN.findall(title.lower()):
        if PURE.match(token) and token not in words:
            words.append(token)
    return words


def load_pages(site, jobs, cache):
    """The pages' texts, kept in cache (a pickle) for the next run on the same
    files."""
    files = []
    for root, _, names in os.walk(site):
        for name in names:
            if name.endswith((".html", ".htm")):
                files.append(os.path.relpath(os.path.join(root, name), site))
    files.sort()
    stamp = (site, files, [os.path.getmtime(os.path.join(site, f)) for f in files])
    try:
        with open(cache, "rb") as f:
            kept = pickle.load(f)
        if kept[0] == stamp:
            return kept[1]
    except (OSError, EOFError, pickle.UnpicklingError, IndexError, TypeError):
        pass
    with multiprocessing.Pool(jobs) as pool:
        pages = [p for p in pool.map(read_page, [(site, f) for f in files], chunksize=64) if p]
    with open(cache, "wb") as f:
        pickle.dump((stamp, pages), f)
    return pages


def page_frequencies(pages):
    df = collections.Counter()
    for _, title, body in pages:
        words = set(WORD.findall(title.lower()))
        for chunk in body:
            words.update(WORD.findall(chunk.lower()))
        df.update(words)
    return df


def draw_known(pages, df, rng, count):
    candidates = []
    for rel, title, _ in pages:
        words = title_words(title)
        if len(words) >= 2:
            candidates.append((rel, sorted(words, key=lambda w: (df.get(w, 0), w))[:2]))
    rng.shuffle(candidates)
    return [(" ".join(words), rel) for rel, words in candidates[:count]]


def draw_phrases(pages, df, rng, count, max_pages):
    order = list(range(len(pages)))
    rng.shuffle(order)
    out = []
    for i in order:
        if len(out) >= count:
            break
        rel, _, body = pages[i]
        triples = []
        for k in range(len(body) - 2):
            words = [plain_word(c) for c in body[k:k + 3]]
            if all(words) and min(df.get(w.lower(), 0) for w in words) <= max_pages:
                triples.append(" ".join(w.lower() for w in words))
        if triples:
            out.append(('"%s"' % rng.choice(triples), rel))
    return out


def misspell(word, rng):
    kind = rng.randrange(4)
    at = rng.randrange(len(word))
    if kind == 0:
        return word[:at] + word[at + 1:]
    if kind == 1:
        return word[:at] + word[at] + word[at:]
    if kind == 2:
        at = min(at, len(word) - 2)
        return word[:at] + word[at + 1] + word[at] + word[at + 2:]
    letter = rng.choice([c for c in "abcdefghijklmnopqrstuvwxyz" if c != word[at]])
    return word[:at] + letter + word[at + 1:]


def draw_spelling(df, rng, count):
    words = sorted(w for w, n in df.items()
                   if n >= SPELL_MIN_PAGES and len(w) >= SPELL_MIN_LETTERS and LETTERS.match(w))
    out = []
    while words and len(out) < count:
        word = rng.choice(words)
        wrong = misspell(word, rng)
        if wrong != word and wrong not in df:
            out.append((wrong, word))
    return out


def run_cgi(program, env, query_string):
    full = dict(env, QUERY_STRING=query_string, REQUEST_METHOD="GET", GATEWAY_INTERFACE="CGI/1.1",
                SCRIPT_NAME="/cgi-bin/search", SERVER_NAME="localhost", SERVER_PORT="80",
                REMOTE_ADDR="127.0.0.1", PATH=os.environ.get("PATH", "/usr/bin:/bin"))
    done = subprocess.run([program], env=full, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                          cwd="/", check=False)
    return done.stdout.decode("utf-8", "replace")


def local_path(url, prefix):
    at = url.find(prefix)
    return urllib.parse.unquote(url[at + len(prefix):] if at >= 0 else url)


class Ours:
    name = "sitequery"

    def __init__(self, program, index):
        self.program, self.env = program, {"SITEQUERY_INDEX": index}

    def ask(self, query, all_words):
        qs = urllib.parse.urlencode({"vesk_query": query, "vesk_xml": "1",
                                     "vesk_per_page": str(RESULTS),
                                     "vesk_and": "1" if all_words else "0"})
        out = run_cgi(self.program, self.env, qs)
        items = out.split("<item>")
        links = [local_path(m.group(1), "/doc/") for item in items[1:]
                 for m in [re.search(r"<link>([^<]*)</link>", item)] if m]
        proposals = [html.unescape(s) for s in re.findall(r"<vesk:spelling>([^<]*)<",
                                                             items[0])]
        return links, proposals


class Omega:
    name = "Omega"

    def __init__(self, program, config):
        self.program, self.env = program, {"OMEGA_CONFIG_FILE": config}

    def ask(self, query, all_words):
        qs = urllib.parse.urlencode({"P": query, "DB": "site", "FMT": "relevance",
                                     "HITSPERPAGE": str(RESULTS),
                                     "DEFAULTOP": "and" if all_words else "or"})
        out = run_cgi(self.program, self.env, qs)
        links = [local_path(u, OMEGA_URL) for u in re.findall(r"^URL (.*)$", out, re.M)]
        suggestion = re.search(r"^SUGGEST (.*)$", out, re.M)
        proposals = suggestion.group(1).split() if suggestion and suggestion.group(1) else []
        return links, proposals


def timed(what, command):
    start = time.time()
    done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, check=False)
    if done.returncode != 0:
        sys.exit("%s failed: %s" % (what, done.stdout.decode("utf-8", "replace")[-2000:]))
    return time.time() - start


def build_indexes(args, work):
    """Builds what is missing (everything unless --reuse); returns build times."""
    times = {}
    for stem in ("english", "none"):
        out = os.path.join(work, "sitequery-" + stem)
        if args.reuse and os.path.exists(os.path.join(out, "settings.vdat")):
            continue
        shutil.rmtree(out, ignore_errors=True)
        times["sitequery-index --language " + stem] = timed(
            "sitequery-index", [args.indexer, "--base-url", BASE_URL, "--language", stem,
                                "--quiet", args.site, out])
    omega = os.path.join(work, "omega")
    os.makedirs(os.path.join(omega, "templates"), exist_ok=True)
    os.makedirs(os.path.join(omega, "log"), exist_ok=True)
    with open(os.path.join(omega, "templates", "relevance"), "w") as f:
        f.write(OMEGA_TEMPLATE)
    config = os.path.join(omega, "omega.conf")
    with open(config, "w") as f:
        f.write("database_dir %s/db\ntemplate_dir %s/templates\nlog_dir %s/log\n" %
                (omega, omega, omega))
    db = os.path.join(omega, "db", "site")
    if not (args.reuse and os.path.isdir(db)):
        shutil.rmtree(db, ignore_errors=True)
        os.makedirs(os.path.dirname(db), exist_ok=True)
        times["omindex --spelling"] = timed(
            "omindex", [args.omindex, "--spelling", "--db", db, "--url", OMEGA_URL, args.site])
    return times, config


def known_scores(engine, queries, pool):
    ranks = list(pool.map(lambda q: rank_of(engine.ask(q[0], True)[0], q[1]), queries))
    n = max(len(ranks), 1)
    return {"mrr": sum(1.0 / r for r in ranks if r) / n,
            "top3": sum(1 for r in ranks if r and r <= 3) / n,
            "top10": sum(1 for r in ranks if r and r <= 10) / n,
            "misses": [(q, r) for q, r in zip(queries, ranks) if not r or r > 10]}


def rank_of(links, page):
    return links.index(page) + 1 if page in links else 0


def phrase_scores(engine, queries, pool):
    found = list(pool.map(lambda q: q[1] in engine.ask(q[0], False)[0], queries))
    return sum(found) / max(len(found), 1), [q for q, f in zip(queries, found) if not f]


def spelling_scores(engine, queries, pool):
    def first_is(q):
        proposals = engine.ask(q[0], True)[1]
        return bool(proposals) and proposals[0].lower() == q[1], proposals[:3]

    results = list(pool.map(first_is, queries))
    misses = [(q, p) for q, (ok, p) in zip(queries, results) if not ok]
    return sum(ok for ok, _ in results) / max(len(results), 1), misses


def main():
    here = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--site", required=True, help="the site folder")
    parser.add_argument("--work", default="/tmp/sitequery-relevance",
                        help="where the indexes are built")
    parser.add_argument("--reuse", action="store_true", help="keep indexes already in --work")
    parser.add_argument("--seed", type=int, default=25)
    parser.add_argument("--known", type=int, default=400)
    parser.add_argument("--phrases", type=int, default=400)
    parser.add_argument("--spelling", type=int, default=300)
    parser.add_argument("--phrase-max-pages", type=int, default=PHRASE_MAX_PAGES,
                        help="a phrase holds a word on at most this many pages")
    parser.add_argument("--jobs", type=int, default=4)
    parser.add_argument("--show", type=int, default=0, help="print this many misses of each set")
    parser.add_argument("--indexer", default=os.path.join(here, "build/release/sitequery-index"))
    parser.add_argument("--search", default=os.path.join(here, "build/release/sitequery"))
    parser.add_argument("--omindex", default=shutil.which("omindex") or "omindex")
    parser.add_argument("--omega", default="/usr/lib/cgi-bin/omega/omega")
    args = parser.parse_args()
    args.site = os.path.abspath(args.site)
    for program in (args.indexer, args.search, args.omindex, args.omega):
        if not os.access(program, os.X_OK):
            sys.exit("missing: " + program)
    work = os.path.abspath(args.work)
    os.makedirs(work, exist_ok=True)

    times, config = build_indexes(args, work)
    pages = load_pages(args.site, args.jobs, os.path.join(work, "pages.pickle"))
    df = page_frequencies(pages)
    rng = random.Random(args.seed)
    known = draw_known(pages, df, rng, args.known)
    phrases = draw_phrases(pages, df, rng, args.phrases, args.phrase_max_pages)
    spelling = draw_spelling(df, rng, args.spelling)

    stemmed = Ours(args.search, os.path.join(work, "sitequery-english"))
    plain = Ours(args.search, os.path.join(work, "sitequery-none"))
    omega = Omega(args.omega, config)
    rows = []
    misses = []
    with ThreadPoolExecutor(args.jobs) as pool:
        k_ours, k_omega = known_scores(stemmed, known, pool), known_scores(omega, known, pool)
        p_stem, p_stem_miss = phrase_scores(stemmed, phrases, pool)
        p_plain, p_plain_miss = phrase_scores(plain, phrases, pool)
        p_omega, p_omega_miss = phrase_scores(omega, phrases, pool)
        s_ours, s_ours_miss = spelling_scores(stemmed, spelling, pool)
        s_omega, s_omega_miss = spelling_scores(omega, spelling, pool)
    rows.append(("known item: mean reciprocal rank", "%.3f" % k_ours["mrr"],
                 "%.3f" % k_omega["mrr"]))
    rows.append(("known item: top 3", "%.1f%%" % (100 * k_ours["top3"]),
                 "%.1f%%" % (100 * k_omega["top3"])))
    rows.append(("known item: top 10", "%.1f%%" % (100 * k_ours["top10"]),
                 "%.1f%%" % (100 * k_omega["top10"])))
    rows.append(("phrase recall, stemming on", "%.1f%%" % (100 * p_stem),
                 "%.1f%%" % (100 * p_omega)))
    rows.append(("phrase recall, stemming off", "%.1f%%" % (100 * p_plain), "-"))
    rows.append(("spelling: first proposal is the word", "%.1f%%" % (100 * s_ours),
                 "%.1f%%" % (100 * s_omega)))
    misses = [("known item, sitequery", k_ours["misses"]), ("known item, Omega", k_omega["misses"]),
              ("phrase, sitequery stemming on", p_stem_miss),
              ("phrase, sitequery stemming off", p_plain_miss), ("phrase, Omega", p_omega_miss),
              ("spelling, sitequery", s_ours_miss), ("spelling, Omega", s_omega_miss)]

    print("site %s: %d pages; seed %d: %d known items, %d phrases, %d misspellings" %
          (args.site, len(pages), args.seed, len(known), len(phrases), len(spelling)))
    for what, seconds in times.items():
        print("  built with %-32s %7.1f s" % (what, seconds))
    print("%-40s %10s %10s" % ("measure", "sitequery", "Omega"))
    for row in rows:
        print("%-40s %10s %10s" % row)
    for what, items in misses:
        if args.show > 0 and items:
            print("\nmisses, %s (%d):" % (what, len(items)))
            for item in items[:args.show]:
                print("  ", item)


if __name__ == "__main__":
    main()
