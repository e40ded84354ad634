// The atomic file writer: links followed, a locked temporary beside the target, flushed and
// renamed; and the tidying of what killed writers left.
#include "core/app/atomicfile.h"

#include "core/app/i18n.h"

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

// Makes a rename or link in the folder durable.
void SyncFolder(const std::string& folder)
{
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

} // namespace

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

std::string FileErrorText(int error)
{
    return error == kNotRegularFile ? _("Not a regular file") : std::strerror(error);
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

int RemoveLeftoverTemporaries(const std::string& folder, const std::function<bool(const std::string&)>& ours)
{
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return 0;
    const int dirFd = ::dirfd(dir);
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (!ours(name))
            continue;
        // Never a link, never a FIFO's wait, never another user's file.
        const int fd = ::openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat opened {};
        struct stat named {};
        // A file whose lock is held is being written by a running writer.
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

bool WriteAll(int fd, std::string_view data)
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

// ---- TAtomicFile ----------------------------------------------------------------------------

bool TAtomicFile::NamedTemporaryOnly = false;

bool TAtomicFile::Fail(int& error, int value)
{
    Abandon();
    error = value;
    return false;
}

bool TAtomicFile::Prepare(const std::string& path, int& error, TExistingFile existing)
{
    Abandon();
    Existing = existing;
    if (!ResolveLinks(path, Target, error))
        return false;
    struct stat old {};
    Exists = ::stat(Target.c_str(), &old) == 0;
    if (Exists && existing == TExistingFile::Keep)
        return Fail(error, EEXIST);
    if (Exists && S_ISDIR(old.st_mode))
        return Fail(error, EISDIR);
    if (Exists && !S_ISREG(old.st_mode))
        return Fail(error, kNotRegularFile);
    // Mode bits decide, not whether this user could write: root may write any file.
    if (Exists && existing == TExistingFile::ReplaceWritable && (old.st_mode & S_IWUSR) == 0)
        return Fail(error, EACCES);
    if (Exists) {
        Mode = old.st_mode & 07777;
        Owner = old.st_uid;
        Group = old.st_gid;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        Mode = 0666 & ~mask;  // the usual bits of a new file
    }
    return true;
}

bool TAtomicFile::OpenNamed(int& error)
{
    const std::string folder = FolderOf(Target);
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string name = folder + "/" + NewTemporaryName();
        // Private until it has the old file's bits.
        const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, Exists ? 0600 : Mode);
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

bool TAtomicFile::Begin(const std::string& path, int& error, TExistingFile existing)
{
    if (!Prepare(path, error, existing) || !OpenNamed(error))
        return false;
    // The new file gets the old one's owner where allowed (only a privileged user may give a
    // file away); then its bits, which a change of owner may have cleared.
    if (Exists && ::fchown(TemporaryFd, Owner, Group) != 0) {
    }
    if (::fchmod(TemporaryFd, Mode) != 0)
        return Fail(error, errno);
    return true;
}

bool TAtomicFile::BeginUnnamed(const std::string& path, int& error, TExistingFile existing)
{
    // The unnamed file gets its name through /proc when complete; without /proc, or on a file
    // system without unnamed files, the named way.
    if (NamedTemporaryOnly || ::access("/proc/self/fd", X_OK) != 0)
        return Begin(path, error, existing);
    if (!Prepare(path, error, existing))
        return false;
    TemporaryFd = ::open(FolderOf(Target).c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (TemporaryFd < 0) {
        if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)
            return Begin(path, error, existing);
        return Fail(error, errno);
    }
    if ((error = LockExclusive(TemporaryFd)) != 0)
        return Fail(error, error);
    if (Exists && ::fchown(TemporaryFd, Owner, Group) != 0) {
    }
    if (::fchmod(TemporaryFd, Mode) != 0)
        return Fail(error, errno);
    return true;
}

bool TAtomicFile::LinkUnnamed(int& error)
{
    const std::string self = "/proc/self/fd/" + std::to_string(TemporaryFd);
    // A new file only: linked straight to its name, which fails when the name is taken.
    if (Existing == TExistingFile::Keep) {
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, Target.c_str(), AT_SYMLINK_FOLLOW) == 0)
            return true;
        error = errno;
        return false;
    }
    const std::string folder = FolderOf(Target);
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string name = folder + "/" + NewTemporaryName();
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            Temporary = name;
            return true;
        }
        if (errno != EEXIST) {
            error = errno;
            return false;
        }
    }
    error = EEXIST;
    return false;
}

bool TAtomicFile::Commit(int& error)
{
    if (TemporaryFd < 0) {
        error = EBADF;
        return false;
    }
    // On the disk before it takes the old file's place: even a crash leaves one whole file.
    if (::fsync(TemporaryFd) != 0)
        return Fail(error, errno);
    struct stat old {};
    if (Existing != TExistingFile::Keep && ::stat(Target.c_str(), &old) == 0) {
        if (!S_ISREG(old.st_mode))
            return Fail(error, S_ISDIR(old.st_mode) ? EISDIR : kNotRegularFile);
        // The bits the old file has by now.
        if (::fchmod(TemporaryFd, old.st_mode & 07777) != 0)
            return Fail(error, errno);
    }
    const bool unnamed = Temporary.empty();
    if (unnamed && !LinkUnnamed(error))
        return Fail(error, error);
    // Renamed (or linked, for a new file only) while still locked, so that no clean-up takes it
    // meanwhile.
    if (Existing == TExistingFile::Keep) {
        if (!unnamed && ::link(Temporary.c_str(), Target.c_str()) != 0)
            return Fail(error, errno);
        if (!unnamed)
            ::unlink(Temporary.c_str());
    } else if (::rename(Temporary.c_str(), Target.c_str()) != 0) {
        return Fail(error, errno);
    }
    Temporary.clear();  // it is the file now
    ::close(TemporaryFd);
    TemporaryFd = -1;
    SyncFolder(FolderOf(Target));
    error = 0;
    return true;
}

void TAtomicFile::Abandon()
{
    if (!Temporary.empty())
        ::unlink(Temporary.c_str());
    if (TemporaryFd >= 0)
        ::close(TemporaryFd);
    TemporaryFd = -1;
    Temporary.clear();
}

bool WriteFileAtomically(const std::string& path, std::string_view text, int& error, TExistingFile existing)
{
    TAtomicFile file;
    if (!file.BeginUnnamed(path, error, existing))
        return false;
    if (!WriteAll(file.Fd(), text)) {
        error = errno;
        file.Abandon();
        return false;
    }
    return file.Commit(error);
}
