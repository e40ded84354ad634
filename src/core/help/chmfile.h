// Reading a compiled HTML help file (.chm) through chmlib: the files stored in it and its
// #SYSTEM record, which names the table of contents, the index, the first page and the title.
#pragma once
#include <optional>
#include <string>
#include <vector>

struct chmFile;

// The values of a #SYSTEM record that the viewer needs; "" when the record has none.
struct TChmSystem {
    std::string ContentsFile;  // code 0, e.g. "Pyxet.hhc"
    std::string IndexFile;     // code 1
    std::string DefaultTopic;  // code 2, e.g. "index.html"
    std::string Title;         // code 3
};

// The record is a 4-byte version followed by entries of a 16-bit code, a 16-bit length and that
// many bytes (text entries end in a NUL, which is dropped). Reading stops at the first entry
// that does not fit; the entries read so far count.
TChmSystem ParseChmSystem(const std::string& data);

// One stored object is read whole; a larger one counts as unreadable.
constexpr size_t kMaxChmObjectSize = 64u * 1024 * 1024;

class TChmFile {
public:
    TChmFile() = default;
    ~TChmFile();
    TChmFile(const TChmFile&) = delete;
    TChmFile& operator=(const TChmFile&) = delete;

    // Opens the file (closing any open one); false and a reason when it is missing or no help file.
    bool Open(const std::string& path, std::string* error = nullptr);
    void Close();
    bool IsOpen() const { return Handle != nullptr; }

    // A stored object by its path inside the file ("/index.html"); none when it is not stored,
    // cannot be read whole, or is larger than kMaxChmObjectSize.
    std::optional<std::string> Read(const std::string& path) const;
    // Paths of the stored content files (not folders, not the format's own "#" and "$" objects).
    std::vector<std::string> Files() const;
    TChmSystem System() const;

private:
    chmFile* Handle = nullptr;
};
