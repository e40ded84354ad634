#include "core/help/helpbook.h"

#include <algorithm>
#include <cctype>

std::string HelpFilePath(const std::string& appDir, const std::string& language)
{
    const bool czech = language.find("cs") != std::string::npos;
    return appDir + (czech ? "locale/cs/Pyxet.chm" : "locale/en/Pyxet.chm");
}

bool IsHelpPageLink(const std::string& scheme)
{
    std::string s = scheme;
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s.empty() || s == "chm";
}

namespace {
// The stored sitemap of that name, else the first stored file with that extension in the root.
std::string FindSitemap(const TChmFile& chm, const std::string& named, const char* extension)
{
    if (!named.empty())
        return TopicPath(named);
    const std::string ext = extension;
    for (const std::string& file : chm.Files()) {
        if (file.find('/', 1) != std::string::npos || file.size() <= ext.size())
            continue;
        std::string tail = file.substr(file.size() - ext.size());
        std::transform(tail.begin(), tail.end(), tail.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (tail == ext)
            return file;
    }
    return {};
}

std::string WithoutFragment(const std::string& path) { return path.substr(0, path.find_first_of("#?")); }
}  // namespace

bool THelpBook::Open(const std::string& path, std::string* error)
{
    Close();
    auto fail = [&](const std::string& reason) {
        if (error)
            *error = reason;
        Close();
        return false;
    };
    if (!Chm.Open(path, error))
        return fail(error ? *error : std::string());
    const TChmSystem system = Chm.System();
    const std::string contents = FindSitemap(Chm, system.ContentsFile, ".hhc");
    const std::optional<std::string> toc = contents.empty() ? std::nullopt : Chm.Read(contents);
    if (!toc)
        return fail(path + " stores no table of contents");
    Toc = ParseSitemap(*toc);
    const auto page =
        std::find_if(Toc.begin(), Toc.end(), [](const TTocEntry& e) { return !TopicPath(e.Local).empty(); });
    if (page == Toc.end())
        return fail(path + ": its table of contents names no page");
    const std::string index = FindSitemap(Chm, system.IndexFile, ".hhk");
    if (const std::optional<std::string> keywords = index.empty() ? std::nullopt : Chm.Read(index))
        Keywords = ParseSitemap(*keywords);
    First = TopicPath(system.DefaultTopic);
    if (First.empty() || !Read(First))
        First = TopicPath(page->Local);
    if (!Read(First))
        return fail(path + ": its first page " + First + " cannot be read");
    BookTitle = system.Title;
    Path = path;
    return true;
}

void THelpBook::Close()
{
    Chm.Close();
    Path.clear();
    BookTitle.clear();
    Toc.clear();
    Keywords.clear();
    First.clear();
}

std::optional<std::string> THelpBook::Read(const std::string& path) const { return Chm.Read(WithoutFragment(path)); }
