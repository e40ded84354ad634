#include "core/help/chmfile.h"

#include <chm_lib.h>

#include <cstdint>
#include <filesystem>
#include <system_error>

TChmSystem ParseChmSystem(const std::string& data)
{
    TChmSystem system;
    auto u16 = [&](size_t at) {
        return static_cast<unsigned>(static_cast<uint8_t>(data[at]))
               | static_cast<unsigned>(static_cast<uint8_t>(data[at + 1])) << 8;
    };
    size_t pos = 4;  // the version
    while (pos + 4 <= data.size()) {
        const unsigned code = u16(pos);
        const size_t length = u16(pos + 2);
        pos += 4;
        if (length > data.size() - pos)
            break;
        std::string text = data.substr(pos, length);
        if (const size_t nul = text.find('\0'); nul != std::string::npos)
            text.resize(nul);
        switch (code) {
        case 0: system.ContentsFile = text; break;
        case 1: system.IndexFile = text; break;
        case 2: system.DefaultTopic = text; break;
        case 3: system.Title = text; break;
        default: break;
        }
        pos += length;
    }
    return system;
}

TChmFile::~TChmFile() { Close(); }

bool TChmFile::Open(const std::string& path, std::string* error)
{
    Close();
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        if (error)
            *error = "no file " + path;
        return false;
    }
    Handle = chm_open(path.c_str());
    if (!Handle) {
        if (error)
            *error = path + " is no compiled help file";
        return false;
    }
    return true;
}

void TChmFile::Close()
{
    if (Handle)
        chm_close(Handle);
    Handle = nullptr;
}

std::optional<std::string> TChmFile::Read(const std::string& path) const
{
    if (!Handle || path.empty())
        return std::nullopt;
    chmUnitInfo info{};
    if (chm_resolve_object(Handle, path.c_str(), &info) != CHM_RESOLVE_SUCCESS)
        return std::nullopt;
    if (info.length > kMaxChmObjectSize)
        return std::nullopt;
    std::string data(static_cast<size_t>(info.length), '\0');
    if (info.length == 0)
        return data;
    const LONGINT64 got = chm_retrieve_object(Handle, &info, reinterpret_cast<unsigned char*>(data.data()), 0,
                                              static_cast<LONGINT64>(info.length));
    if (got != static_cast<LONGINT64>(info.length))
        return std::nullopt;
    return data;
}

namespace {
int CollectFile(chmFile*, chmUnitInfo* info, void* context)
{
    const std::string path = info->path;
    if (!path.empty() && path.back() != '/' && path.size() > 1 && path[0] == '/' && path[1] != '#' && path[1] != '$'
        && path.rfind("/_#_", 0) != 0)
        static_cast<std::vector<std::string>*>(context)->push_back(path);
    return CHM_ENUMERATOR_CONTINUE;
}
}  // namespace

std::vector<std::string> TChmFile::Files() const
{
    std::vector<std::string> files;
    if (Handle)
        chm_enumerate(Handle, CHM_ENUMERATE_NORMAL | CHM_ENUMERATE_FILES, CollectFile, &files);
    return files;
}

TChmSystem TChmFile::System() const
{
    const std::optional<std::string> data = Read("/#SYSTEM");
    return data ? ParseChmSystem(*data) : TChmSystem{};
}
