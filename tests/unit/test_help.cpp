// The help files: reading the table of contents and index sitemaps, the #SYSTEM record of a
// compiled help file, the file of each language, and the two help files of the build (valid,
// every page in the contents, the Czech one in Czech), and where the help window opens.
#include "core/help/chmfile.h"
#include "core/help/helpbook.h"
#include "core/help/placement.h"
#include "core/help/sitemap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

namespace {

TEST(Sitemap, ReadsNestedEntriesWithTheirLevels)
{
    const std::string hhc = R"(<HTML><BODY>
<OBJECT type="text/site properties"><param name="Window Styles" value="0x800025"></OBJECT>
<UL>
 <LI><OBJECT type="text/sitemap"><param name="Name" value="Welcome"><param name="Local" value="index.html"></OBJECT>
 <LI><OBJECT type="text/sitemap"><param name="Name" value="Transfers"></OBJECT>
 <UL>
  <LI><object TYPE='text/sitemap'><PARAM NAME=name VALUE="Firmware &amp; more"><param value="upgrade.html#why" name="Local"></object>
  <UL><LI><OBJECT type="text/sitemap"><param name="Name" value="Deep"><param name="Local" value="deep.html"></OBJECT></UL>
 </UL>
 <!-- <LI><OBJECT type="text/sitemap"><param name="Name" value="Commented out"></OBJECT> -->
 <LI><OBJECT type="text/sitemap"><param name="Name" value="Jazyky &#x10D;esky &#269;"><param name="Local" value="languages.html"></OBJECT>
</UL></BODY></HTML>)";
    const std::vector<TTocEntry> expected = {
        {"Welcome", "index.html", 0},
        {"Transfers", "", 0},  // a heading without a page
        {"Firmware & more", "upgrade.html#why", 1},
        {"Deep", "deep.html", 2},
        {"Jazyky \xC4\x8D"
         "esky \xC4\x8D",
         "languages.html", 0},
    };
    EXPECT_EQ(ParseSitemap(hhc), expected);
}

// Odd input: each row is a text and the entries it gives.
TEST(Sitemap, OddInputIsReadAsFarAsItGoes)
{
    const struct {
        const char* Why;
        std::string Text;
        std::vector<TTocEntry> Entries;
    } cases[] = {
        {"empty text", "", {}},
        {"no lists: level 0", R"(<OBJECT type="text/sitemap"><param name="Name" value="A"></OBJECT>)", {{"A", "", 0}}},
        {"an index keyword names its first page",
         R"(<UL><LI><OBJECT type="text/sitemap"><param name="Name" value="K"><param name="Local" value="a.html"><param name="Name" value="Other"><param name="Local" value="b.html"></OBJECT></UL>)",
         {{"K", "a.html", 0}}},
        {"an object without a name is left out",
         R"(<UL><LI><OBJECT type="text/sitemap"><param name="Local" value="a.html"></OBJECT></UL>)",
         {}},
        {"another object type is left out", R"(<OBJECT type="text/other"><param name="Name" value="X"></OBJECT>)", {}},
        {"an object that never closes is left out",
         R"(<UL><LI><OBJECT type="text/sitemap"><param name="Name" value="A">)",
         {}},
        {"more closing lists than opening ones",
         R"(</UL></UL><UL><LI><OBJECT type="text/sitemap"><param name="Name" value="A"></OBJECT>)",
         {{"A", "", 0}}},
        {"an unfinished tag at the end", R"(<UL><LI><OBJECT type="text/sitemap"><param name="Name" value="A)", {}},
        {"unknown entities stay as written",
         R"(<OBJECT type="text/sitemap"><param name="Name" value="a &nbsp; b &#xZZ; c &"></OBJECT>)",
         {{"a &nbsp; b &#xZZ; c &", "", 0}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseSitemap(c.Text), c.Entries) << c.Why;
}

TEST(Sitemap, DeepListsAndManyEntriesAreBounded)
{
    std::string deep;
    for (int i = 0; i < 40; ++i)
        deep += "<UL>";
    deep += R"(<LI><OBJECT type="text/sitemap"><param name="Name" value="A"></OBJECT>)";
    ASSERT_EQ(ParseSitemap(deep).size(), 1u);
    EXPECT_EQ(ParseSitemap(deep)[0].Level, kMaxSitemapLevel);

    std::string many;
    for (size_t i = 0; i < kMaxSitemapEntries + 5; ++i)
        many += R"(<OBJECT type="text/sitemap"><param name="Name" value="A"></OBJECT>)";
    EXPECT_EQ(ParseSitemap(many).size(), kMaxSitemapEntries);
}

TEST(Sitemap, TopicPathsInsideTheFile)
{
    EXPECT_EQ(TopicPath("finding.html"), "/finding.html");
    EXPECT_EQ(TopicPath("finding.html#why"), "/finding.html#why");
    EXPECT_EQ(TopicPath("/images/a.png"), "/images/a.png");
    EXPECT_EQ(TopicPath("//x.html"), "/x.html");
    EXPECT_EQ(TopicPath("sub\\page.html"), "/sub/page.html");
    EXPECT_EQ(TopicPath("Pyxet.chm::/list.html"), "/list.html");
    EXPECT_EQ(TopicPath("mk:@MSITStore:C:\\Pyxet.chm::/list.html"), "/list.html");
    EXPECT_EQ(TopicPath(""), "");
    EXPECT_EQ(TopicPath("/"), "");
}

std::string SystemEntry(unsigned code, const std::string& text)
{
    std::string e;
    e += static_cast<char>(code & 0xFF);
    e += static_cast<char>(code >> 8);
    e += static_cast<char>(text.size() & 0xFF);
    e += static_cast<char>(text.size() >> 8);
    return e + text;
}

TEST(ChmSystem, ReadsTheFourNamesAndStopsAtATruncatedEntry)
{
    const std::string version("\x03\0\0\0", 4);
    std::string data =
        version + SystemEntry(9, std::string("HHA Version 4.74\0", 17))
        + SystemEntry(2, std::string("index.html\0", 11)) + SystemEntry(3, std::string("Pyxet Help\0", 11))
        + SystemEntry(0, std::string("Pyxet.hhc\0", 10)) + SystemEntry(1, std::string("Pyxet.hhk\0", 10));
    TChmSystem s = ParseChmSystem(data);
    EXPECT_EQ(s.ContentsFile, "Pyxet.hhc");
    EXPECT_EQ(s.IndexFile, "Pyxet.hhk");
    EXPECT_EQ(s.DefaultTopic, "index.html");
    EXPECT_EQ(s.Title, "Pyxet Help");

    // An entry longer than what is left ends the reading; the entries before it count.
    std::string cut = version + SystemEntry(3, std::string("Title\0", 6)) + SystemEntry(0, "Pyxet.hhc");
    cut.resize(cut.size() - 1);
    s = ParseChmSystem(cut);
    EXPECT_EQ(s.Title, "Title");
    EXPECT_EQ(s.ContentsFile, "");
    EXPECT_EQ(ParseChmSystem("").Title, "");
    EXPECT_EQ(ParseChmSystem(version + "\x03").Title, "");
}

TEST(HelpFile, TheFileOfTheLanguage)
{
    EXPECT_EQ(HelpFilePath("/opt/pyxet/", "cs"), "/opt/pyxet/locale/cs/Pyxet.chm");
    EXPECT_EQ(HelpFilePath("/opt/pyxet/", "cs_CZ.UTF-8"), "/opt/pyxet/locale/cs/Pyxet.chm");
    EXPECT_EQ(HelpFilePath("/opt/pyxet/", "en"), "/opt/pyxet/locale/en/Pyxet.chm");
    EXPECT_EQ(HelpFilePath("/opt/pyxet/", ""), "/opt/pyxet/locale/en/Pyxet.chm");
    EXPECT_EQ(HelpFilePath("/opt/pyxet/", "de"), "/opt/pyxet/locale/en/Pyxet.chm");
    EXPECT_EQ(HelpFilePath("/opt/pyxet/", "CS"), "/opt/pyxet/locale/en/Pyxet.chm");  // the code is lower case
}

TEST(HelpFile, PageLinksAndWebLinks)
{
    EXPECT_TRUE(IsHelpPageLink(""));
    EXPECT_TRUE(IsHelpPageLink("chm"));
    EXPECT_TRUE(IsHelpPageLink("CHM"));
    EXPECT_FALSE(IsHelpPageLink("https"));
    EXPECT_FALSE(IsHelpPageLink("http"));
    EXPECT_FALSE(IsHelpPageLink("mailto"));
    EXPECT_FALSE(IsHelpPageLink("file"));
}

TEST(HelpFile, MissingOrForeignFilesDoNotOpen)
{
    const std::string dir = ::testing::TempDir();
    THelpBook book;
    std::string error;
    EXPECT_FALSE(book.Open(dir + "/no-such-file.chm", &error));
    EXPECT_NE(error.find("no file"), std::string::npos) << error;

    const std::string text = dir + "/not-a-help-file.chm";
    std::ofstream(text) << "This is a text file, not a compiled help file.\n";
    error.clear();
    EXPECT_FALSE(book.Open(text, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(book.FileName().empty());
    EXPECT_FALSE(book.File().IsOpen());
    std::filesystem::remove(text);
}

// ---- The help files of the build ---------------------------------------------------------------

std::set<std::string> SourcePages(const std::string& language)
{
    std::set<std::string> pages;
    for (const auto& entry : std::filesystem::directory_iterator(PYXET_SOURCE_DIR "/help/" + language))
        if (entry.path().extension() == ".html")
            pages.insert("/" + entry.path().filename().string());
    return pages;
}

class BuiltHelp : public ::testing::TestWithParam<const char*> {};

TEST_P(BuiltHelp, IsAValidHelpFileWhoseContentsListEveryPage)
{
    const std::string language = GetParam();
    THelpBook book;
    std::string error;
    ASSERT_TRUE(book.Open(PYXET_BIN_DIR "/locale/" + language + "/Pyxet.chm", &error)) << error;
    EXPECT_EQ(book.FirstPage(), "/index.html");
    EXPECT_FALSE(book.Title().empty());

    std::set<std::string> listed;
    for (const TTocEntry& entry : book.Contents())
        if (!entry.Local.empty())
            listed.insert(TopicPath(entry.Local));
    const std::set<std::string> pages = SourcePages(language);
    ASSERT_GE(pages.size(), 10u);
    EXPECT_EQ(listed, pages);
    // Every page and every picture it shows is stored in the file.
    for (const std::string& page : pages) {
        const std::optional<std::string> html = book.Read(page);
        ASSERT_TRUE(html) << page;
        size_t at = 0;
        while ((at = html->find("src=\"", at)) != std::string::npos) {
            at += 5;
            const std::string picture = "/" + html->substr(at, html->find('"', at) - at);
            EXPECT_TRUE(book.Read(picture)) << page << " shows " << picture;
        }
    }
    EXPECT_GE(book.Index().size(), 20u);
    // A keyword leads to a page, or to a place in it.
    for (const TTocEntry& keyword : book.Index()) {
        const std::string topic = TopicPath(keyword.Local);
        EXPECT_TRUE(pages.count(topic.substr(0, topic.find('#')))) << keyword.Name << " -> " << keyword.Local;
    }
}

INSTANTIATE_TEST_SUITE_P(Languages, BuiltHelp, ::testing::Values("en", "cs"));

// Czech letters with diacritics, which English pages do not have.
int CzechLetters(const std::string& text)
{
    int n = 0;
    for (const char* letter : {"ř", "ě", "č", "š", "ž", "ý", "á", "í", "é", "ů"})
        for (size_t at = text.find(letter); at != std::string::npos; at = text.find(letter, at + 1))
            ++n;
    return n;
}

TEST(BuiltHelpLanguage, TheCzechFileIsInCzechAndTheEnglishOneInEnglish)
{
    THelpBook cs, en;
    ASSERT_TRUE(cs.Open(PYXET_BIN_DIR "/locale/cs/Pyxet.chm"));
    ASSERT_TRUE(en.Open(PYXET_BIN_DIR "/locale/en/Pyxet.chm"));
    EXPECT_EQ(cs.Title(), "Nápověda Pyxet");
    EXPECT_EQ(en.Title(), "Pyxet Help");
    const std::string csFirst = *cs.Read(cs.FirstPage());
    const std::string enFirst = *en.Read(en.FirstPage());
    EXPECT_NE(csFirst.find("Vítejte"), std::string::npos);
    EXPECT_NE(csFirst.find("lang=\"cs\""), std::string::npos);
    EXPECT_NE(enFirst.find("Welcome"), std::string::npos);
    EXPECT_GT(CzechLetters(csFirst), 40);
    EXPECT_EQ(CzechLetters(enFirst), 0);
    // Every Czech page and every title of the Czech contents is Czech.
    for (const TTocEntry& entry : cs.Contents()) {
        if (entry.Local.empty())
            continue;
        EXPECT_GT(CzechLetters(*cs.Read(TopicPath(entry.Local))), 10) << entry.Local;
    }
    int czechTitles = 0;
    for (const TTocEntry& entry : cs.Contents())
        czechTitles += CzechLetters(entry.Name) > 0;
    EXPECT_GE(czechTitles, 10);
}

// Where the help window opens against the main window's frame.
TEST(HelpWindowPlace, BesideTheOwnerWhereTheDesktopHasRoom)
{
    const QRect desktop(0, 0, 1920, 1080);
    const QSize help(880, 620);
    // Room on the right.
    QRect owner(100, 200, 800, 600);
    QRect at = HelpWindowPlace(desktop, owner, help);
    EXPECT_EQ(at.size(), help);
    EXPECT_GT(at.left(), owner.right());
    EXPECT_EQ(at.top(), owner.top());
    EXPECT_TRUE(desktop.contains(at));
    // Room only on the left.
    owner = QRect(1000, 100, 800, 600);
    at = HelpWindowPlace(desktop, owner, help);
    EXPECT_LT(at.right(), owner.left());
    EXPECT_TRUE(desktop.contains(at));
    // An owner low on the screen: the help window moves up to keep its bottom on the desktop.
    owner = QRect(100, 700, 800, 300);
    at = HelpWindowPlace(desktop, owner, help);
    EXPECT_FALSE(at.intersects(owner));
    EXPECT_EQ(at.bottom(), desktop.bottom());
    // A desktop that does not start at the origin (a second screen on the left).
    const QRect right(1920, 0, 1920, 1080);
    owner = QRect(2000, 100, 800, 600);
    at = HelpWindowPlace(right, owner, help);
    EXPECT_FALSE(at.intersects(owner));
    EXPECT_TRUE(right.contains(at));
}

TEST(HelpWindowPlace, InsideTheDesktopWhenNoSideHasRoom)
{
    const QRect desktop(0, 0, 1280, 800);
    const QSize help(880, 620);
    // More room on the right: against the desktop's right edge, over the owner's right part.
    QRect owner(20, 50, 900, 600);
    QRect at = HelpWindowPlace(desktop, owner, help);
    EXPECT_TRUE(desktop.contains(at));
    EXPECT_EQ(at.right(), desktop.right());
    EXPECT_EQ(at.size(), help);
    // More room on the left.
    owner = QRect(360, 50, 900, 600);
    at = HelpWindowPlace(desktop, owner, help);
    EXPECT_TRUE(desktop.contains(at));
    EXPECT_EQ(at.left(), desktop.left());
    // A desktop smaller than the window: the window shrinks to it.
    const QRect tiny(0, 0, 800, 600);
    at = HelpWindowPlace(tiny, QRect(0, 0, 800, 600), help);
    EXPECT_EQ(at, tiny);
}

}  // namespace
