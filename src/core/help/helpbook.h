// One opened help file as the help window shows it: the compiled file, its table of contents
// and index (parsed from their stored .hhc and .hhk sources), its title and its first page; and
// which file belongs to which interface language.
#pragma once
#include "core/help/chmfile.h"
#include "core/help/sitemap.h"

#include <optional>
#include <string>
#include <vector>

// The help file of an interface language: AppDir + "locale/cs/Pyxet.chm" when the language code
// contains "cs" (cs, cs_CZ.UTF-8), AppDir + "locale/en/Pyxet.chm" for any other.
std::string HelpFilePath(const std::string& appDir, const std::string& language);

// Whether a link in a help page leads to another page of the help file (a relative link or the
// viewer's own "chm" scheme) rather than to the web (http, https, mailto ...), which the
// desktop's browser opens.
bool IsHelpPageLink(const std::string& scheme);

class THelpBook {
public:
    // Opens the file and reads its contents. False and a reason when the file is missing or no
    // compiled help file, stores no table of contents, its table of contents names no page, or
    // the first page cannot be read; nothing stays open then.
    bool Open(const std::string& path, std::string* error = nullptr);
    void Close();

    const std::string& FileName() const { return Path; }
    const std::string& Title() const { return BookTitle; }
    const std::vector<TTocEntry>& Contents() const { return Toc; }
    const std::vector<TTocEntry>& Index() const { return Keywords; }
    // The page shown first: the file's default topic when it is stored, else the first page of
    // the table of contents. A path inside the file ("/index.html").
    const std::string& FirstPage() const { return First; }
    // A stored file by its path inside the help file ("/images/main.png"); a "#fragment" or
    // "?query" is ignored.
    std::optional<std::string> Read(const std::string& path) const;
    const TChmFile& File() const { return Chm; }

private:
    TChmFile Chm;
    std::string Path;
    std::string BookTitle;
    std::vector<TTocEntry> Toc;
    std::vector<TTocEntry> Keywords;
    std::string First;
};
