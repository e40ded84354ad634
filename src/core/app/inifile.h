// A small INI text file reader and writer: "[section]" lines and "key=value" lines, section and
// key names matched without regard to letter case. Changing a key keeps every other line of the
// file exactly as it was (comments, blank lines, unknown sections, CR LF or LF line ends).
#pragma once
#include <cstddef>
#include <string>
#include <vector>

class TIniFile {
public:
    // A read yields at most this many characters of a value.
    static constexpr std::size_t kMaxValueLength = 2047;
    // A settings file larger than this is refused rather than read into memory.
    static constexpr std::size_t kMaxFileSize = 16 * 1024 * 1024;

    TIniFile() = default;

    // Replaces the content with the lines of text (LF or CR LF line ends).
    void Parse(const std::string& text);
    // The content as it would be written.
    std::string Text() const;

    // Reads the file at path. A missing file (or missing folder) is no error and gives an empty
    // content. Returns false, with the reason in *error, when the file exists but cannot be read.
    bool Load(const std::string& path, std::string* error = nullptr);
    // Replaces the file at path as a whole: the content goes to a temporary file in the same
    // folder, is flushed to disk and then renamed over the old file, so a crash or a full disk
    // leaves either the old file or the new one, never a truncated one. A symbolic link is
    // followed and its target replaced. Returns false, with the reason in *error, on failure.
    bool Save(const std::string& path, std::string* error = nullptr) const;

    // The text after the first "=" of the first matching key in the first matching section,
    // cut to kMaxValueLength characters; def when the section or key is absent.
    std::string ReadString(const std::string& section, const std::string& key, const std::string& def) const;
    bool HasKey(const std::string& section, const std::string& key) const;

    // Sets the value of the key, adding the section at the end and the key after the section's
    // last key line when they are absent; the key's own line keeps its name as spelled in the
    // file. Refuses (returns false, changes nothing) names or values that would break the line
    // structure: an empty name, a line break anywhere, "]" in a section or "=" in a key name.
    bool WriteString(const std::string& section, const std::string& key, const std::string& value);

private:
    struct TLine {
        std::string Text;  // without its line end
        std::string End;   // "\r\n", "\n", or "" for a last line without one
    };
    // Index of the section's header line, or -1.
    long FindSection(const std::string& section) const;
    // Index of the key's line inside the section that starts at header, or -1.
    long FindKey(long header, const std::string& key) const;
    // Index of the key's line in the first matching section, or -1 (also for an empty name).
    long FindEntry(const std::string& section, const std::string& key) const;

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
