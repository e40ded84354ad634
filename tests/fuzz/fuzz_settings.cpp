// The settings file's reader and writer on any text: every value read can be written back, which
// leaves the text as it was; written into a new file and read again, the same sections, keys and
// values come back; the product tables survive their comma text. Then the same through the file
// itself: what LoadSettings read, SaveSettings can write, and reading it again gives the same.
#include "core/app/inifile.h"
#include "core/app/settings.h"
#include "fuzz_common.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {
struct TEntry {
    std::string Section, Key, Value;
    bool operator==(const TEntry&) const = default;
};

std::vector<TEntry> EntriesOf(const TIniFile& ini)
{
    std::vector<TEntry> entries;
    for (const std::string& section : ini.Sections())
        for (const std::string& key : ini.Keys(section)) {
            FUZZ_CHECK(ini.HasKey(section, key));
            entries.push_back({section, key, ini.ReadString(section, key, "")});
        }
    return entries;
}

bool SameSettings(const TSettings& a, const TSettings& b)
{
    return a.TimeStamps == b.TimeStamps && a.Language == b.Language && a.OrvexProducts == b.OrvexProducts
        && a.HwgProducts == b.HwgProducts;
}

// A folder of its own for the file round (in memory where the machine offers it), removed at
// exit. Held on the heap so that it outlives the exit handlers.
const std::string& Folder()
{
    static const std::string* folder = [] {
        std::string tmpl = (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + std::string("/pyxet-fuzz-XXXXXX");
        FUZZ_CHECK(mkdtemp(tmpl.data()) != nullptr);
        std::atexit([] { std::filesystem::remove_all(std::filesystem::path(Folder()).parent_path()); });
        return new std::string(tmpl + "/");
    }();
    return *folder;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    InstallDroppingLogger();
    const std::string text(reinterpret_cast<const char*>(data), size);
    TIniFile ini;
    ini.Parse(text);
    FUZZ_CHECK(ini.Text() == text);
    const std::vector<TEntry> entries = EntriesOf(ini);

    // Each value written back in place: accepted, and nothing changes.
    TIniFile same = ini;
    for (const TEntry& e : entries) {
        FUZZ_CHECK(e.Value.find_first_of("\r\n") == std::string::npos);
        FUZZ_CHECK(same.WriteString(e.Section, e.Key, e.Value));
    }
    FUZZ_CHECK(same.Text() == text);

    // Into a new file, then read again: the same sections, keys and values in the same order.
    TIniFile fresh;
    for (const TEntry& e : entries)
        FUZZ_CHECK(fresh.WriteString(e.Section, e.Key, e.Value));
    TIniFile again;
    again.Parse(fresh.Text());
    FUZZ_CHECK(EntriesOf(again) == entries);

    // Every value as a product table: its comma text reads back as the same entries.
    for (const TEntry& e : entries) {
        const TProductTable table = SplitCommaText(e.Value);
        const std::string joined = JoinCommaText(table);
        FUZZ_CHECK(SplitCommaText(joined) == table);
        FUZZ_CHECK(fresh.WriteString(e.Section, e.Key, joined));
    }

    // Through the file: load, save (never refused in a writable folder), load again.
    const std::string& folder = Folder();
    std::ofstream(folder + "Pyxet.ini", std::ios::binary | std::ios::trunc) << text;
    TSettings loaded;
    LoadSettings(folder, loaded);
    std::string error;
    FUZZ_CHECK(SaveSettings(folder, loaded, &error));
    TSettings reloaded;
    LoadSettings(folder, reloaded);
    FUZZ_CHECK(SameSettings(loaded, reloaded));
    // The rest of the file is kept: every other key reads as before.
    TIniFile saved;
    FUZZ_CHECK(saved.Load(folder + "Pyxet.ini"));
    const auto ours = [](const TEntry& e) {
        const auto is = [&e](const char* section, const char* key) {
            TIniFile probe;
            probe.Parse(std::string("[") + section + "]\n" + key + "=\n");
            return probe.HasKey(e.Section, e.Key);
        };
        return is("Logs", "Time") || is("Setup", "Lang") || is("Products", "Orvex") || is("Products", "HWG");
    };
    for (const TEntry& e : entries)
        if (!ours(e))
            FUZZ_CHECK(saved.ReadString(e.Section, e.Key, "<absent>") == e.Value);
    return 0;
}
