// INI text file: reading values, changing keys in place, and replacing the file atomically.
#include "core/app/inifile.h"

#include "core/log/format.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr const char* kBom = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trim(const std::string& s)
{
    std::size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b]))
        ++b;
    while (e > b && IsBlank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

bool SameText(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if ((x >= 'A' && x <= 'Z' ? x + 32 : x) != (y >= 'A' && y <= 'Z' ? y + 32 : y))
            return false;
    }
    return true;
}

// A section header is a line whose first non-blank character is "["; the name runs to the "]".
bool SectionOf(const std::string& line, std::string& name)
{
    std::size_t i = 0;
    while (i < line.size() && IsBlank(line[i]))
        ++i;
    if (i >= line.size() || line[i] != '[')
        return false;
    const std::size_t close = line.find(']', i + 1);
    name = Trim(line.substr(i + 1, close == std::string::npos ? std::string::npos : close - i - 1));
    return true;
}

// A key line holds "=" and is neither a header nor a comment (first non-blank character ";").
bool KeyOf(const std::string& line, std::string& key, std::size_t& eq)
{
    std::size_t i = 0;
    while (i < line.size() && IsBlank(line[i]))
        ++i;
    if (i >= line.size() || line[i] == ';' || line[i] == '[')
        return false;
    eq = line.find('=');
    if (eq == std::string::npos)
        return false;
    key = Trim(line.substr(0, eq));
    return true;
}

// Cuts a value to the read limit without leaving half of a UTF-8 character at its end.
std::string CutValue(const std::string& value)
{
    if (value.size() <= TIniFile::kMaxValueLength)
        return value;
    std::size_t n = TIniFile::kMaxValueLength;
    // Step back over continuation bytes to the lead byte of the last character; drop it when
    // its sequence does not fit.
    std::size_t lead = n;
    while (lead > 0 && (static_cast<unsigned char>(value[lead - 1]) & 0xC0) == 0x80 && n - lead < 3)
        --lead;
    if (lead > 0) {
        const unsigned char c = static_cast<unsigned char>(value[lead - 1]);
        const std::size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        if (len > 1 && lead - 1 + len > n)
            n = lead - 1;
    }
    return value.substr(0, n);
}

std::string SysError(const char* what, const std::string& path)
{
    return Format("%s %s: %s", what, path.c_str(), std::strerror(errno));
}

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool WriteAll(int fd, const std::string& data)
{
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}
} // namespace

void TIniFile::Parse(const std::string& text)
{
    Lines.clear();
    Eol = "\n";
    bool eolFound = false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t nl = text.find('\n', pos);
        TLine line;
        if (nl == std::string::npos) {
            line.Text = text.substr(pos);
            pos = text.size();
        } else {
            line.Text = text.substr(pos, nl - pos);
            line.End = "\n";
            if (!line.Text.empty() && line.Text.back() == '\r') {
                line.Text.pop_back();
                line.End = "\r\n";
            }
            pos = nl + 1;
            if (!eolFound) {
                Eol = line.End;
                eolFound = true;
            }
        }
        Lines.push_back(std::move(line));
    }
}

std::string TIniFile::Text() const
{
    std::string text;
    for (const TLine& line : Lines)
        text += line.Text + line.End;
    return text;
}

long TIniFile::FindSection(const std::string& section) const
{
    std::string name;
    for (std::size_t i = 0; i < Lines.size(); ++i) {
        // A byte order mark before the first header is not part of its name.
        const std::string& text = i == 0 && Lines[0].Text.rfind(kBom, 0) == 0 ? Lines[0].Text.substr(3) : Lines[i].Text;
        if (SectionOf(text, name) && SameText(name, section))
            return static_cast<long>(i);
    }
    return -1;
}

long TIniFile::FindKey(long header, const std::string& key) const
{
    std::string name;
    std::size_t eq = 0;
    for (std::size_t i = static_cast<std::size_t>(header) + 1; i < Lines.size(); ++i) {
        if (SectionOf(Lines[i].Text, name))
            break;
        if (KeyOf(Lines[i].Text, name, eq) && SameText(name, key))
            return static_cast<long>(i);
    }
    return -1;
}

long TIniFile::FindEntry(const std::string& section, const std::string& key) const
{
    const long header = section.empty() || key.empty() ? -1 : FindSection(section);
    return header < 0 ? -1 : FindKey(header, key);
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key, const std::string& def) const
{
    const long at = FindEntry(section, key);
    if (at < 0)
        return CutValue(def);
    const std::string& text = Lines[static_cast<std::size_t>(at)].Text;
    return CutValue(text.substr(text.find('=') + 1));
}

bool TIniFile::HasKey(const std::string& section, const std::string& key) const
{
    return FindEntry(section, key) >= 0;
}

bool TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value)
{
    const auto breaksLine = [](const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; };
    if (Trim(section).empty() || Trim(key).empty() || breaksLine(section) || breaksLine(key) || breaksLine(value)
        || section.find(']') != std::string::npos || key.find('=') != std::string::npos
        || Trim(key)[0] == ';' || Trim(key)[0] == '[')
        return false;

    const long header = FindSection(section);
    if (header >= 0) {
        const long at = FindKey(header, key);
        if (at >= 0) {
            std::string& text = Lines[static_cast<std::size_t>(at)].Text;
            text = text.substr(0, text.find('=') + 1) + value;
            return true;
        }
        // After the section's last key line, so that comments and blank lines that lead into
        // the next section stay in front of it.
        std::size_t insert = static_cast<std::size_t>(header) + 1;
        std::string name;
        std::size_t eq = 0;
        for (std::size_t i = insert; i < Lines.size() && !SectionOf(Lines[i].Text, name); ++i)
            if (KeyOf(Lines[i].Text, name, eq))
                insert = i + 1;
        if (insert == Lines.size() && Lines.back().End.empty())
            Lines.back().End = Eol;
        Lines.insert(Lines.begin() + static_cast<long>(insert), TLine{key + "=" + value, Eol});
        return true;
    }
    if (!Lines.empty() && Lines.back().End.empty())
        Lines.back().End = Eol;
    Lines.push_back(TLine{"[" + section + "]", Eol});
    Lines.push_back(TLine{key + "=" + value, Eol});
    return true;
}

bool TIniFile::Load(const std::string& path, std::string* error)
{
    Parse({});
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return true;
        if (error)
            *error = SysError("Cannot open", path);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (error)
            *error = Format("Not a regular file: %s", path.c_str());
        ::close(fd);
        return false;
    }
    std::string text;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            if (error)
                *error = SysError("Cannot read", path);
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        text.append(buf, static_cast<std::size_t>(n));
        if (text.size() > kMaxFileSize) {
            if (error)
                *error = Format("File too large: %s", path.c_str());
            ::close(fd);
            return false;
        }
    }
    ::close(fd);
    Parse(text);
    return true;
}

bool TIniFile::Save(const std::string& path, std::string* error) const
{
    // Replace the target of a symbolic link, not the link.
    std::string target = path;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
    }
    const std::string folder = FolderOf(target);
    const std::size_t slash = target.rfind('/');
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string temp = (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) + "." + base + ".XXXXXX";

    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        if (error)
            *error = SysError("Cannot create a file beside", target);
        return false;
    }
    // The new file gets the old one's permissions (and owner, where allowed), or the usual
    // ones of a new file.
    mode_t mode = 0;
    if (::stat(target.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
        if (::fchown(fd, st.st_uid, st.st_gid) != 0) {
            // Only a privileged user may give the file away; others keep their own ownership.
        }
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, Text()) && ::fsync(fd) == 0;
    if (!ok && error)
        *error = SysError("Cannot write", temp);
    if (::close(fd) != 0 && ok) {
        ok = false;
        if (error)
            *error = SysError("Cannot write", temp);
    }
    if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
        ok = false;
        if (error)
            *error = SysError("Cannot replace", target);
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    // Make the rename itself durable.
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

std::string ReadIniString(const std::string& path, const std::string& section, const std::string& key,
                          const std::string& def)
{
    TIniFile ini;
    ini.Load(path);  // an unreadable file reads as empty: every value gives its default
    return ini.ReadString(section, key, def);
}

bool WriteIniString(const std::string& path, const std::string& section, const std::string& key,
                    const std::string& value, std::string* error)
{
    TIniFile ini;
    // A file that exists but cannot be read is left alone rather than replaced by one key.
    if (!ini.Load(path, error))
        return false;
    if (!ini.WriteString(section, key, value)) {
        if (error)
            *error = Format("Cannot store key %s in section %s", key.c_str(), section.c_str());
        return false;
    }
    return ini.Save(path, error);
}
