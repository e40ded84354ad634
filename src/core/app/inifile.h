// A small INI text file reader and writer: "[section]" lines and "key=value" lines, section and
// key names matched without regard to letter case. Changing a key keeps every other line of the
// file exactly as it was (comments, blank lines, unknown sections, and the line ends: LF, CR LF,
// CRs doubled before the LF, or a lone CR).
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

class TIniFile {
public:
    // A settings file larger than this is refused rather than read into memory.
    static constexpr std::size_t kMaxFileSize = 16 * 1024 * 1024;

    // Why Load failed.
    enum class TLoadError { None, TooLarge, Unreadable };

    TIniFile() = default;

    // Replaces the content with the lines of text. A line ends at an LF together with any CRs
    // right before it, or at a CR that no LF follows; so no value ever holds a CR or an LF.
    void Parse(std::string text);
    // The content as it would be written.
    std::string Text() const;
    // Writes the content to the open file fd; false (errno set) when a write fails.
    bool WriteTo(int fd) const;

    // Reads the file at path. A missing file (or missing folder) is no error and gives an empty
    // content. Returns false, with the reason in *error and its kind in *why, when the file
    // exists but cannot be read (or is larger than kMaxFileSize).
    bool Load(const std::string& path, std::string* error = nullptr, TLoadError* why = nullptr);
    // Replaces the file at path as a whole through TAtomicFile (core/app/atomicfile.h): a crash,
    // a kill or a full disk leaves either the old file or the new one, never a truncated one; a
    // symbolic link is followed and its target replaced, its bits kept. An existing file without
    // write permission for its owner is left alone, whoever runs the program. Returns false,
    // with the reason in *error, on failure.
    bool Save(const std::string& path, std::string* error = nullptr) const;
    // Deletes the temporary files that writes into the folder of the file at path (its links
    // followed) left behind when they were killed; one that a running write still holds is kept.
    // Failures are ignored.
    static void RemoveStaleTemporaries(const std::string& path);

    // The text after the first "=" of the first matching key in the first matching section,
    // whole; def when the section or key is absent.
    std::string ReadString(const std::string& section, const std::string& key, const std::string& def) const;
    bool HasKey(const std::string& section, const std::string& key) const;
    // The names that reads can reach, as spelled in the file, in file order: each section
    // once (its first appearance), and the keys of a section's first appearance, each once.
    std::vector<std::string> Sections() const;
    std::vector<std::string> Keys(const std::string& section) const;

    // Sets the value of the key, adding the section at the end and the key after the section's
    // last key line when they are absent; the key's own line keeps its name as spelled in the
    // file. Refuses (returns false, changes nothing) names or values that would break the line
    // structure: an empty name, a line break anywhere, "]" in a section or "=" in a key name.
    bool WriteString(const std::string& section, const std::string& key, const std::string& value);

private:
    // A line as parsed lies in Content; a changed or added one holds its own text. So a file of
    // megabytes is held once, not once more line by line.
    struct TLine {
        std::size_t Offset = 0;  // in Content, while not Changed
        std::size_t Length = 0;
        bool Changed = false;
        std::string Own;  // the text while Changed
        std::string End;  // the line end as in the file ("\n", "\r\n", ...), or "" for a last line without one
    };
    static TLine NewLine(std::string text, std::string end);
    // The line's text without its line end.
    std::string_view TextOf(std::size_t i) const;
    // Line i as a section header is read: without the byte order mark at the file's start.
    std::string_view LineForHeader(std::size_t i) const;
    // Index of the section's header line, or -1.
    long FindSection(const std::string& section) const;
    // Index of the key's line inside the section that starts at header, or -1.
    long FindKey(long header, const std::string& key) const;
    // Index of the key's line in the first matching section, or -1 (also for an empty name).
    long FindEntry(const std::string& section, const std::string& key) const;

    std::string Content;  // the text as parsed
    std::vector<TLine> Lines;
    std::string Eol = "\n";  // line end for added lines: the file's own
};

// Reads one value straight from the file at path (defaults when the file cannot be read).
std::string ReadIniString(const std::string& path, const std::string& section, const std::string& key,
                          const std::string& def);
// Writes one key straight to the file at path, creating the file, section or key as needed and
// keeping all the rest of the file; the file is replaced atomically.
bool WriteIniString(const std::string& path, const std::string& section, const std::string& key,
                    const std::string& value, std::string* error = nullptr);
