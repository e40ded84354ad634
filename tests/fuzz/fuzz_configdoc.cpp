// The configuration reader on any bytes: it either refuses them with a reason or gives a tree
// whose spans lie in the decoded text and hold what the tree says; a document compares equal to
// itself; and putting other values back at its places through KeepIdentity changes exactly
// those values and leaves the file readable.
#include "core/config/compare.h"
#include "core/config/configdoc.h"
#include "core/config/configpath.h"
#include "core/config/identity.h"
#include "fuzz_common.h"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

bool InDecoded(const TConfigDocument& doc, const TConfigSpan& span)
{
    return span.Start == -1 || (span.Start >= 0 && span.Length >= 0 && span.Start + span.Length <= doc.Decoded.size());
}

// The value as written, where nothing in it is a reference, markup or a line end a reader turns.
bool Plain(QStringView raw)
{
    return !raw.contains(u'&') && !raw.contains(u'<') && !raw.contains(u'\r') && !raw.contains(u'\n') &&
           !raw.contains(u'\t');
}

bool IsKey(const std::string& name)
{
    return name == "id" || name == "name" || name == "index" || name == "key" || name == "no";
}

struct TPlace {
    std::string Value;
    bool Writable = false;  // a stretch to replace, and not a key that names its element
    int Seen = 0;
};

std::map<std::string, TPlace> Places(const TConfigDocument& doc)
{
    std::map<std::string, TPlace> places;
    ForEachConfigPlace(doc.Root, [&](const std::string& path, const TConfigElement& e, const TConfigAttribute* a) {
        TPlace& p = places[path];
        ++p.Seen;
        p.Value = a ? a->Value : e.Text;
        p.Writable = a ? (a->Span.Start >= 0 && !IsKey(a->Name)) : e.TextSpan.Start >= 0;
    });
    return places;
}

void CheckElement(const TConfigDocument& doc, const TConfigElement& e)
{
    FUZZ_CHECK(InDecoded(doc, e.TextSpan));
    if (e.TextSpan.Start >= 0 && e.TextSpan.Length > 0) {
        const QStringView raw = QStringView(doc.Decoded).mid(e.TextSpan.Start, e.TextSpan.Length);
        if (Plain(raw))
            FUZZ_CHECK(raw.toString().toStdString() == e.Text);
    }
    for (const TConfigAttribute& a : e.Attributes) {
        FUZZ_CHECK(InDecoded(doc, a.Span));
        if (a.Span.Start >= 0) {
            const QStringView raw = QStringView(doc.Decoded).mid(a.Span.Start, a.Span.Length);
            if (Plain(raw))
                FUZZ_CHECK(raw.toString().toStdString() == a.Value);
        }
    }
    for (const TConfigElement& child : e.Children)
        CheckElement(doc, child);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const TConfigDocument doc = ReadConfig(bytes);
    if (!doc.Ok) {
        FUZZ_CHECK(!doc.Error.empty());
        return 0;
    }
    CheckElement(doc, doc.Root);
    FUZZ_CHECK(CompareConfigs(doc, doc).empty());
    FUZZ_CHECK(SameConfig(bytes, bytes));

    // Other values at every place that has one stretch of text: exactly those change.
    const std::map<std::string, TPlace> before = Places(doc);
    TConfigDocument own = doc;
    std::vector<std::string> places;
    std::map<std::string, std::string> wanted;
    ForEachConfigPlace(own.Root, [&](const std::string& path, const TConfigElement& e, const TConfigAttribute* a) {
        const TPlace& p = before.at(path);
        if (p.Seen != 1 || !p.Writable)
            return;
        const std::string value = "v&<\"'" + std::to_string(places.size());
        auto& element = const_cast<TConfigElement&>(e);
        if (a)
            const_cast<TConfigAttribute*>(a)->Value = value;
        else
            element.Text = value;
        places.push_back(path);
        wanted[path] = value;
    });
    const TKeptIdentity kept = KeepIdentity(bytes, own, places);
    FUZZ_CHECK(kept.Ok);
    const TConfigDocument after = ReadConfig(kept.Bytes);
    FUZZ_CHECK(after.Ok);
    const std::map<std::string, TPlace> changed = Places(after);
    for (const auto& [path, place] : before) {
        const auto it = changed.find(path);
        FUZZ_CHECK(it != changed.end());
        const auto w = wanted.find(path);
        FUZZ_CHECK(it->second.Value == (w == wanted.end() ? place.Value : w->second));
    }
    return 0;
}
