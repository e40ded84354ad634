// The one way Pyxet writes a file: the settings file, downloads, undo files, exports and saved
// logs all go through TAtomicFile. The content goes to a temporary file in the folder of the file
// it replaces (unnamed until complete where the file system allows, else of Pyxet's own name
// from the start), held under an exclusive lock, flushed to the disk and only then renamed over
// the old file: a crash, a kill or a full disk leaves the old file or the new one, never a part.
// A symbolic link stays a link (its target is replaced, links followed as the kernel follows
// them); the replaced file's permission bits (set-user-ID, set-group-ID and sticky included)
// and, where allowed, its owner stay. A failure leaves nothing behind; the temporary files a
// killed writer left are removed by RemoveLeftoverTemporaries unless another Pyxet holds them.
#pragma once
#include <functional>
#include <string>
#include <string_view>

// The folder part of `path` ("." for a bare name, "/" for a file in the root).
std::string FolderOf(const std::string& path);
// `path` with every symbolic link of its last part followed, link after link (a relative link
// text counts from the link's own folder); a missing last target is the file to create. False
// with `error` set (ELOOP after 40 links, or the error of reading a link).
bool ResolveLinks(const std::string& path, std::string& target, int& error);

// The error value of a write for something that exists and is neither a regular file nor a
// folder (no errno value says it).
constexpr int kNotRegularFile = -1;
// The text of an error value: strerror, or "Not a regular file" (translated) for kNotRegularFile.
std::string FileErrorText(int error);

// ---- Pyxet's temporary files ----------------------------------------------------------------
// ".pyxet-part-" followed by 12 upper-case hexadecimal digits: no other program's name.
constexpr const char* kTemporaryPrefix = ".pyxet-part-";
bool IsTemporaryName(const std::string& name);
// A new random temporary name (no folder). Safe from any thread.
std::string NewTemporaryName();
// Removes from `folder` the temporary files of Pyxet's name (or those `ours` takes) that nobody
// holds locked (a writer that was killed): plain files of this user only, never a link or
// another program's file. Returns how many went.
int RemoveLeftoverTemporaries(const std::string& folder,
                              const std::function<bool(const std::string&)>& ours = IsTemporaryName);

// What becomes of a file that is already there.
enum class TExistingFile {
    Replace,          // replaced, whatever its bits
    ReplaceWritable,  // replaced unless its owner took away the owner's write bit (EACCES), also for root
    Keep,             // never replaced (EEXIST): the writer makes new files only
};

// One write of a file.
class TAtomicFile {
public:
    // Tests only: temporary files are named from the start, as on a file system that offers no
    // unnamed ones (O_TMPFILE).
    static bool NamedTemporaryOnly;

    TAtomicFile() = default;
    ~TAtomicFile() { Abandon(); }
    TAtomicFile(const TAtomicFile&) = delete;
    TAtomicFile& operator=(const TAtomicFile&) = delete;

    // Creates the locked temporary file beside the target of `path` (its links followed), named
    // from the start. An existing target must be a regular file; its permission bits are given
    // to the temporary at once. False with `error` (an errno value or kNotRegularFile) set.
    bool Begin(const std::string& path, int& error, TExistingFile existing = TExistingFile::Replace);
    // The same with an unnamed temporary file where the file system allows: a kill before the
    // Commit leaves nothing at all.
    bool BeginUnnamed(const std::string& path, int& error, TExistingFile existing = TExistingFile::Replace);
    // The temporary file, open for writing.
    int Fd() const { return TemporaryFd; }
    // Its name; empty while it is unnamed.
    const std::string& TemporaryPath() const { return Temporary; }
    // Puts the written file on the disk and in the target's place, with the permission bits the
    // target has by then. False with `error` set; the temporary is then removed.
    bool Commit(int& error);
    // Removes the temporary file (nothing after a Commit).
    void Abandon();

private:
    bool Prepare(const std::string& path, int& error, TExistingFile existing);
    bool OpenNamed(int& error);
    // Gives the unnamed temporary a name of Pyxet's own beside the target.
    bool LinkUnnamed(int& error);
    bool Fail(int& error, int value);

    std::string Target;
    std::string Temporary;
    int TemporaryFd = -1;
    TExistingFile Existing = TExistingFile::Replace;
    bool Exists = false;      // the target, when the write began
    unsigned Owner = 0, Group = 0;
    unsigned Mode = 0;        // for the new file
};

// Writes `text` as the whole file at `path` through a TAtomicFile (unnamed temporary where
// possible). False with `error` set when nothing was written.
bool WriteFileAtomically(const std::string& path, std::string_view text, int& error,
                         TExistingFile existing = TExistingFile::Replace);
// Writes all of `data` to `fd`; false (errno set) when a write fails.
bool WriteAll(int fd, std::string_view data);
