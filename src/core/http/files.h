// The local files of the transfers: which files may be sent or written, and how a received file
// takes the place of the old one. A download is written to a temporary file of Pyxet's own name
// in the folder of the file it replaces, under an exclusive lock, and renamed over it only when
// whole; the replaced file's permission bits stay, and a symbolic link stays a link (its target
// is replaced). Temporary files a killed transfer left behind are removed before the next
// transfer into their folder, unless another Pyxet still holds their lock.
#pragma once
#include <string>

// ---- Files that are not files ---------------------------------------------------------------
// True when `path` names (through its links) something that exists and is neither a regular
// file nor a folder: a FIFO, a device, a socket. Opening one could block for ever or act on
// hardware, so the transfers refuse it before they open it.
bool IsSpecialFile(const std::string& path);
// The error value of the functions below for such a file (no errno value says it).
constexpr int kNotRegularFile = -1;
// The text of an error value: strerror, or "Not a regular file" (translated) for kNotRegularFile.
std::string FileErrorText(int error);
// What a command shows when asked to send (`reading`) or to write such a file: "Cannot read the
// file %s: Not a regular file" or "Cannot write ..."; "" when `path` is not a special file.
std::string SpecialFileRefusal(const std::string& path, bool reading);

// ---- Where a replacement goes ---------------------------------------------------------------
// The folder part of `path` ("." for a bare name, "/" for a file in the root).
std::string FolderOf(const std::string& path);
// `path` with every symbolic link of its last part followed, link after link (a relative link
// text counts from the link's own folder); a missing last target is the file to create. False
// with `error` set (ELOOP after 40 links, or the error of reading a link).
bool ResolveLinks(const std::string& path, std::string& target, int& error);

// ---- Pyxet's temporary files ----------------------------------------------------------------
// ".pyxet-part-" followed by 12 upper-case hexadecimal digits: no other program's name.
constexpr const char* kTemporaryPrefix = ".pyxet-part-";
bool IsTemporaryName(const std::string& name);
// A new random temporary name (no folder). Safe from any thread.
std::string NewTemporaryName();

// Removes from `folder` the temporary files of Pyxet's name that nobody holds locked (a transfer
// that was killed): plain files of this user only, never a link or another program's file.
// Returns how many went.
int RemoveLeftoverTemporaries(const std::string& folder);

// One replacement of a file by new content.
class TFileReplacement {
public:
    TFileReplacement() = default;
    ~TFileReplacement() { Abandon(); }
    TFileReplacement(const TFileReplacement&) = delete;
    TFileReplacement& operator=(const TFileReplacement&) = delete;

    // Creates the locked temporary file beside the target of `path` (its links followed). An
    // existing target must be a regular file; its permission bits are given to the temporary at
    // once. False with `error` (an errno value) set.
    bool Begin(const std::string& path, int& error);
    // The temporary file, open for writing.
    int Fd() const { return TemporaryFd; }
    const std::string& TemporaryPath() const { return Temporary; }
    // Puts the written file on the disk and in the target's place, with the permission bits the
    // target has by then. False with `error` set; the temporary is then removed.
    bool Commit(int& error);
    // Removes the temporary file (nothing after a Commit).
    void Abandon();

private:
    std::string Target;
    std::string Temporary;
    int TemporaryFd = -1;
};
