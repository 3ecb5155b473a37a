<?xml version="1.0" encoding="utf-8"?>
<!-- Shows the RSS answer of the example site's search as a readable page in a
     browser: the query, the number of matches and one block per result. Feed
     readers ignore it and read the feed itself. The settings key XMLXSLTURL
     names the address this file is served from (the same site as the search). -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns:opensearch="http://a9.com/-/spec/opensearch/1.1/" exclude-result-prefixes="opensearch">
<xsl:output method="html" encoding="utf-8" doctype-system="about:legacy-compat" indent="yes"/>

<xsl:variable name="query" select="/rss/channel/*[local-name() = 'searchquery']"/>

<xsl:template match="/">
<html lang="en">
<head>
<meta charset="utf-8"/>
<meta name="viewport" content="width=device-width, initial-scale=1"/>
<meta name="color-scheme" content="light dark"/>
<title><xsl:value-of select="/rss/channel/title"/>: <xsl:value-of select="$query"/></title>
<style>
:root { color-scheme: light dark; --bg: #f7f6f2; --surface: #fff; --text: #1d2125; --muted: #535a62;
  --border: #d5d3cc; --link: #0a58b8; --accent: #8a4b00; --note-bg: #fff4dc; --note-border: #e3b65a; }
@media (prefers-color-scheme: dark) {
  :root { --bg: #121416; --surface: #1b1f23; --text: #e7e9ec; --muted: #a9b0b8; --border: #353b42;
    --link: #8cb8ff; --accent: #ffc56b; --note-bg: #2b2313; --note-border: #7a5a1f; }
}
* { box-sizing: border-box; }
body { margin: 0; background: var(--bg); color: var(--text);
  font: 1.0625rem/1.6 system-ui, -apple-system, "Segoe UI", Roboto, "Noto Sans", "DejaVu Sans", sans-serif; }
main { max-width: 46rem; margin: 0 auto; padding: 1.5rem 1.25rem 3rem; }
a { color: var(--link); }
:focus-visible { outline: 3px solid var(--link); outline-offset: 2px; }
h1 { font-size: 1.5rem; line-height: 1.3; margin: 0 0 .25rem; overflow-wrap: anywhere; }
.count { color: var(--muted); margin: 0 0 1rem; }
.note { margin: 0 0 1.25rem; padding: .75rem 1rem; background: var(--note-bg); border: 1px solid var(--note-border);
  border-radius: .5rem; font-size: .9375rem; }
ol { list-style: none; margin: 0; padding: 0; display: flex; flex-direction: column; gap: .9rem; }
li { padding: 1rem 1.25rem; background: var(--surface); border: 1px solid var(--border); border-radius: .75rem;
  overflow-wrap: anywhere; }
.title { font-size: 1.1875rem; font-weight: 600; line-height: 1.35; text-decoration: none; }
.title:hover, .title:focus-visible { text-decoration: underline; }
.category { color: var(--accent); font-size: .875rem; }
.description { margin: .4rem 0 0; }
.meta { margin: .4rem 0 0; color: var(--muted); font-size: .875rem; }
</style>
</head>
<body>
<main>
<h1>Results for “<xsl:value-of select="$query"/>”</h1>
<p class="count">
  <xsl:value-of select="/rss/channel/opensearch:totalResults"/>
  <xsl:choose>
    <xsl:when test="/rss/channel/opensearch:totalResults = 1"> page found</xsl:when>
    <xsl:otherwise> pages found</xsl:otherwise>
  </xsl:choose>
  <xsl:for-each select="/rss/channel/*[local-name() = 'spelling'][1]">. Did you mean <b><xsl:value-of select="."/></b>?</xsl:for-each>
</p>
<p class="note">This is the search's RSS feed: add its address to a feed reader to follow the results.</p>
<ol>
  <xsl:apply-templates select="/rss/channel/item"/>
</ol>
</main>
</body>
</html>
</xsl:template>

<xsl:template match="item">
<li>
  <a class="title" href="{link}"><xsl:value-of select="title"/></a>
  <xsl:if test="category">
    <div class="category">
      <xsl:for-each select="category"><xsl:if test="position() &gt; 1">, </xsl:if><xsl:value-of select="."/></xsl:for-each>
    </div>
  </xsl:if>
  <xsl:if test="string(description)">
    <p class="description"><xsl:value-of select="description"/></p>
  </xsl:if>
  <p class="meta">
    <xsl:if test="pubDate"><xsl:value-of select="substring(pubDate, 6, 11)"/> · </xsl:if>
    <xsl:value-of select="link"/>
  </p>
</li>
</xsl:template>

</xsl:stylesheet>
