"""Reads each XML answer named on the command line as a feed reader does
(python3-feedparser) and prints one line per file: the file name, 1 when the
reader found the document faulty (its "bozo" flag) or 0, the reason, the
number of items, and the link of each item; fields separated by tabs."""
import sys

import feedparser


def main():
    for path in sys.argv[1:]:
        with open(path, "rb") as document:
            feed = feedparser.parse(document.read())
        reason = str(feed.get("bozo_exception", "")).replace("\t", " ").replace("\n", " ")
        fields = [path, "1" if feed.bozo else "0", reason, str(len(feed.entries))]
        fields += [entry.get("link", "") for entry in feed.entries]
        print("\t".join(fields))


main()
