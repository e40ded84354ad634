#include "core/app/folders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QString>

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// A folder path cleaned of "." and ".." steps, with one trailing '/'.
std::string AsFolder(const std::string& path)
{
    std::string dir = QDir::cleanPath(QString::fromStdString(path)).toStdString();
    if (dir.empty() || dir.back() != '/')
        dir += '/';
    return dir;
}

std::string EnvText(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string HomeFolder()
{
    std::string home = EnvText("HOME");
    if (home.empty())
        if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir)
            home = pw->pw_dir;
    return home;
}

// Read from the kernel, so that it works before the application object exists (pyxet --help).
std::string ProgramFileFolder()
{
    const QFileInfo self(QStringLiteral("/proc/self/exe"));
    const QString file = self.exists() ? self.canonicalFilePath() : QCoreApplication::applicationFilePath();
    return QFileInfo(file).absolutePath().toStdString() + "/";
}

bool IsFolder(const std::string& path) { return QFileInfo(QString::fromStdString(path)).isDir(); }
}  // namespace

TProgramFolders ChooseProgramFolders(const TFolderFacts& facts, const std::function<bool(const std::string&)>& isFolder)
{
    TProgramFolders folders;
    const std::string besideBin = AsFolder(facts.ProgramDir + "../share/pyxet");
    if (isFolder(besideBin))
        folders.AppDir = besideBin;
    else if (!facts.BuiltInDataDir.empty() && isFolder(AsFolder(facts.BuiltInDataDir)))
        folders.AppDir = AsFolder(facts.BuiltInDataDir);
    if (folders.AppDir.empty()) {
        folders.AppDir = folders.ConfigDir = folders.DataDir = AsFolder(facts.ProgramDir);
        return folders;
    }
    folders.Installed = true;
    // A relative XDG folder is ignored, as the XDG rules say.
    const auto xdgFolder = [&facts](const std::string& xdg, const char* fallback) {
        const bool usable = !xdg.empty() && xdg.front() == '/';
        return AsFolder((usable ? xdg : facts.Home + fallback) + "/pyxet");
    };
    folders.ConfigDir = xdgFolder(facts.XdgConfigHome, "/.config");
    folders.DataDir = xdgFolder(facts.XdgDataHome, "/.local/share");
    return folders;
}

const TProgramFolders& ProgramFolders()
{
    static const TProgramFolders folders = [] {
        TFolderFacts facts;
        facts.ProgramDir = ProgramFileFolder();
#ifdef PYXET_DATA_DIR
        facts.BuiltInDataDir = PYXET_DATA_DIR;
#endif
        facts.XdgConfigHome = EnvText("XDG_CONFIG_HOME");
        facts.XdgDataHome = EnvText("XDG_DATA_HOME");
        facts.Home = HomeFolder();
        return ChooseProgramFolders(facts, IsFolder);
    }();
    return folders;
}

bool MakeConfigFolder(const TProgramFolders& folders)
{
    if (!folders.Installed)
        return true;  // the program's own folder is there already
    return MakeFolderPath(folders.ConfigDir);
}

bool MakeFolderPath(const std::string& folder)
{
    // Each missing step of the path, from the top down.
    const std::string dir = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    for (std::size_t slash = dir.find('/', 1); slash != std::string::npos; slash = dir.find('/', slash + 1)) {
        const std::string step = dir.substr(0, slash);
        if (mkdir(step.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return IsFolder(dir);
}
