// The table of contents (.hhc) and the index (.hhk) of a compiled help file: both are HTML
// "sitemaps", nested <UL> lists whose <LI> items carry an <OBJECT type="text/sitemap"> with
// <param name="Name"> and <param name="Local"> values.
#pragma once
#include <string>
#include <vector>

struct TTocEntry {
    std::string Name;   // the title shown (entities decoded, UTF-8)
    std::string Local;  // the page inside the help file, as written ("finding.html#why"); "" for a heading
    int Level = 0;      // 0 for the outermost list, 1 for a list inside it, ...

    bool operator==(const TTocEntry&) const = default;
};

// Lists nested deeper than this count as this deep; entries beyond the maximum are dropped.
constexpr int kMaxSitemapLevel = 16;
constexpr size_t kMaxSitemapEntries = 10000;

// Every sitemap object of the text in document order. Objects of other types (the "text/site
// properties" block) and objects without a name are skipped; of several Name or Local values the
// first counts (an index keyword names its first page). Tags and attribute names are read in any
// letter case, values quoted with " or ' or unquoted; comments are skipped. Never fails: what
// cannot be read is left out.
std::vector<TTocEntry> ParseSitemap(const std::string& html);

// The path inside the help file that a Local value names: a leading "file.chm::" is dropped,
// backslashes become slashes, and the path starts with one "/"; a "#fragment" stays.
// "finding.html#why" -> "/finding.html#why"; "" -> "".
std::string TopicPath(const std::string& local);
