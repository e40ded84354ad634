#include "core/http/files.h"

#include "core/app/i18n.h"
#include "core/log/format.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kMaxLinks = 40;         // as the kernel follows at most
constexpr int kTemporaryDigits = 12;  // 48 random bits
constexpr int kNameAttempts = 100;

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

int LockExclusive(int fd)
{
    while (::flock(fd, LOCK_EX) != 0)
        if (errno != EINTR)
            return errno;
    return 0;
}

} // namespace

bool IsSpecialFile(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode);
}

std::string FileErrorText(int error)
{
    return error == kNotRegularFile ? _("Not a regular file") : std::strerror(error);
}

std::string SpecialFileRefusal(const std::string& path, bool reading)
{
    if (!IsSpecialFile(path))
        return {};
    return Format(reading ? _("Cannot read the file %s: %s") : _("Cannot write the file %s: %s"), path.c_str(),
                  FileErrorText(kNotRegularFile).c_str());
}

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool ResolveLinks(const std::string& path, std::string& target, int& error)
{
    std::string current = path;
    for (int links = 0; links <= kMaxLinks; ++links) {
        struct stat info {};
        if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            // Not a link, or nothing there yet (the file to create); opening it tells the rest.
            target = current;
            return true;
        }
        std::string text(size_t(info.st_size > 0 ? info.st_size : 255) + 1, '\0');
        const ssize_t length = ::readlink(current.c_str(), text.data(), text.size());
        if (length < 0) {
            error = errno;
            return false;
        }
        if (size_t(length) >= text.size()) {  // the link changed while read
            error = ENAMETOOLONG;
            return false;
        }
        text.resize(size_t(length));
        if (text.empty()) {
            error = ENOENT;
            return false;
        }
        if (text[0] == '/' || current.find('/') == std::string::npos)
            current = text;
        else
            current = FolderOf(current) + "/" + text;
    }
    error = ELOOP;
    return false;
}

bool IsTemporaryName(const std::string& name)
{
    const std::string prefix = kTemporaryPrefix;
    if (name.size() != prefix.size() + kTemporaryDigits || name.compare(0, prefix.size(), prefix) != 0)
        return false;
    for (size_t i = prefix.size(); i < name.size(); ++i)
        if (!((name[i] >= '0' && name[i] <= '9') || (name[i] >= 'A' && name[i] <= 'F')))
            return false;
    return true;
}

std::string NewTemporaryName()
{
    // One generator for the process, guarded: transfers of --jobs name their files at once.
    static std::mutex lock;
    static std::mt19937_64 random(std::random_device{}());
    uint64_t value;
    {
        std::lock_guard<std::mutex> guard(lock);
        value = random();
    }
    char digits[kTemporaryDigits + 1];
    std::snprintf(digits, sizeof digits, "%012llX", static_cast<unsigned long long>(value & 0xFFFFFFFFFFFFull));
    return kTemporaryPrefix + std::string(digits);
}

int RemoveLeftoverTemporaries(const std::string& folder)
{
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return 0;
    const int dirFd = ::dirfd(dir);
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (!IsTemporaryName(name))
            continue;
        // Never a link, never a FIFO's wait, never another user's file.
        const int fd = ::openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat opened {};
        struct stat named {};
        // A file whose lock is held is being written by a running transfer.
        if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && opened.st_uid == ::geteuid()
            && ::flock(fd, LOCK_EX | LOCK_NB) == 0
            && ::fstatat(dirFd, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(opened, named)
            && ::unlinkat(dirFd, name.c_str(), 0) == 0)
            ++removed;
        ::close(fd);
    }
    ::closedir(dir);
    return removed;
}

bool TFileReplacement::Begin(const std::string& path, int& error)
{
    Abandon();
    if (!ResolveLinks(path, Target, error))
        return false;
    struct stat old {};
    const bool exists = ::stat(Target.c_str(), &old) == 0;
    if (exists && S_ISDIR(old.st_mode)) {
        error = EISDIR;
        return false;
    }
    if (exists && !S_ISREG(old.st_mode)) {
        error = kNotRegularFile;
        return false;
    }
    const std::string folder = FolderOf(Target);
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string name = folder + "/" + NewTemporaryName();
        // Private until it has the old file's bits; a new file gets the usual 0666 less umask.
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, exists ? 0600 : 0666);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            error = errno;
            return false;
        }
        // Locked, and still ours: a clean-up of another Pyxet may have taken the fresh file away
        // between its creation and the lock.
        struct stat opened {};
        struct stat named {};
        error = LockExclusive(fd);
        if (error == 0
            && (::fstat(fd, &opened) != 0 || ::lstat(name.c_str(), &named) != 0 || !SameFile(opened, named))) {
            ::close(fd);
            continue;
        }
        if (error == 0 && exists && ::fchmod(fd, old.st_mode & 07777) != 0)
            error = errno;
        if (error != 0) {
            ::unlink(name.c_str());
            ::close(fd);
            return false;
        }
        Temporary = name;
        TemporaryFd = fd;
        return true;
    }
    error = EEXIST;
    return false;
}

bool TFileReplacement::Commit(int& error)
{
    if (TemporaryFd < 0) {
        error = EBADF;
        return false;
    }
    // On the disk before it takes the old file's place: even a crash leaves one whole file.
    error = ::fsync(TemporaryFd) == 0 ? 0 : errno;
    struct stat old {};
    if (error == 0 && ::stat(Target.c_str(), &old) == 0) {
        if (!S_ISREG(old.st_mode))
            error = S_ISDIR(old.st_mode) ? EISDIR : kNotRegularFile;
        else if (::fchmod(TemporaryFd, old.st_mode & 07777) != 0)
            error = errno;
    }
    // Renamed while still locked, so that no clean-up takes it meanwhile.
    if (error == 0 && ::rename(Temporary.c_str(), Target.c_str()) != 0)
        error = errno;
    if (error != 0) {
        Abandon();
        return false;
    }
    ::close(TemporaryFd);
    TemporaryFd = -1;
    Temporary.clear();
    return true;
}

void TFileReplacement::Abandon()
{
    if (TemporaryFd < 0)
        return;
    ::unlink(Temporary.c_str());
    ::close(TemporaryFd);
    TemporaryFd = -1;
    Temporary.clear();
}
