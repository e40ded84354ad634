#include "core/http/files.h"

#include "core/app/i18n.h"
#include "core/log/format.h"

#include <sys/stat.h>

bool IsSpecialFile(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode);
}

std::string SpecialFileRefusal(const std::string& path, bool reading)
{
    if (!IsSpecialFile(path))
        return {};
    return Format(reading ? _("Cannot read the file %s: %s") : _("Cannot write the file %s: %s"), path.c_str(),
                  FileErrorText(kNotRegularFile).c_str());
}
