// Identity places of a device's configuration, and the common file with a device's own values
// put back at them.
#include "core/config/identity.h"

#include "core/app/i18n.h"
#include "core/config/configcodec.h"
#include "core/config/configpath.h"
#include "core/devices/product.h"
#include "core/devices/utils.h"
#include "core/log/format.h"

#include <algorithm>
#include <optional>
#include <unordered_map>
#include <unordered_set>

namespace {

std::string Trimmed(const std::string& text) { return std::string(TrimXmlSpace(std::string_view(text))); }

// A device's values as they are looked for: trimmed, without those that never count.
class TIdentityValues {
public:
    explicit TIdentityValues(const TDeviceIdentity& device)
    {
        for (const std::string* v : {&device.IP, &device.PeerIP, &device.Name}) {
            std::string t = Trimmed(*v);
            if (!t.empty() && t != "N/A")
                Texts.push_back(std::move(t));
        }
        Mac = MacKeyOf(Trimmed(device.MAC));
    }

    bool Holds(const std::string& value) const
    {
        const std::string t = Trimmed(value);
        if (t.empty())
            return false;
        if (std::find(Texts.begin(), Texts.end(), t) != Texts.end())
            return true;
        return Mac && MacKeyOf(t) == Mac;  // any form ParseMac takes, compared as six bytes
    }

private:
    std::vector<std::string> Texts;
    std::optional<uint64_t> Mac;
};

// A value made safe to stand between tags or quotes.
QString EscapeXml(const QString& value, bool attribute)
{
    QString out;
    out.reserve(value.size());
    for (QChar c : value) {
        switch (c.unicode()) {
        case u'&': out += QStringLiteral("&amp;"); break;
        case u'<': out += QStringLiteral("&lt;"); break;
        case u'>': out += QStringLiteral("&gt;"); break;
        case u'"': out += QStringLiteral("&quot;"); break;
        case u'\'': out += QStringLiteral("&apos;"); break;
        case u'\r': out += QStringLiteral("&#13;"); break;  // a reader would make it a line feed
        case u'\t': out += attribute ? QStringLiteral("&#9;") : QStringLiteral("\t"); break;
        case u'\n': out += attribute ? QStringLiteral("&#10;") : QStringLiteral("\n"); break;
        default: out += c;
        }
    }
    return out;
}

struct TPlaceValue {
    std::string Value;  // an attribute's as it is, an element's text trimmed
    TConfigSpan Span;
    bool Attribute = false;
};

std::unordered_map<std::string, TPlaceValue> PlacesOf(const TConfigDocument& doc,
                                                      const std::unordered_set<std::string>& wanted)
{
    std::unordered_map<std::string, TPlaceValue> found;
    ForEachConfigPlace(doc.Root, [&](const std::string& path, const TConfigElement& e, const TConfigAttribute* a) {
        if (wanted.count(path) && !found.count(path))
            found.emplace(path, a ? TPlaceValue{a->Value, a->Span, true} : TPlaceValue{e.Text, e.TextSpan, false});
    });
    return found;
}

struct TPut {
    qsizetype Start = 0;
    qsizetype Length = 0;
    QByteArray Bytes;
};

}  // namespace

TDeviceIdentity IdentityOf(const TProduct& device)
{
    const TProductInfo info = device.CopyInfo();
    return {info.MAC, info.IP, info.PeerIP, info.Name};
}

std::vector<std::string> IdentityPlaces(const TConfigDocument& own, const TDeviceIdentity& device,
                                        const std::vector<std::string>& extraPaths)
{
    std::vector<std::string> places;
    std::unordered_set<std::string> seen;
    if (own.Ok) {
        const TIdentityValues values(device);
        ForEachConfigPlace(own.Root, [&](const std::string& path, const TConfigElement& e, const TConfigAttribute* a) {
            if (values.Holds(a ? a->Value : e.Text) && seen.insert(path).second)
                places.push_back(path);
        });
    }
    for (const std::string& path : extraPaths)
        if (!path.empty() && seen.insert(path).second)
            places.push_back(path);
    return places;
}

void MarkIdentity(std::vector<TConfigDifference>& differences, const std::vector<std::string>& places)
{
    const std::unordered_set<std::string> identity(places.begin(), places.end());
    for (TConfigDifference& d : differences)
        if (identity.count(d.Path))
            d.Identity = true;
}

TKeptIdentity KeepIdentity(const QByteArray& common, const TConfigDocument& own, const std::vector<std::string>& places)
{
    TKeptIdentity kept;
    const TConfigDocument doc = ReadConfig(common);
    if (!doc.Ok) {
        kept.Error = Format(_("The common file cannot be read: %s"), doc.Error.c_str());
        return kept;
    }
    if (!own.Ok) {
        kept.Error = Format(_("The device's own configuration cannot be read: %s"), own.Error.c_str());
        return kept;
    }
    TConfigCodec codec;
    std::string error;
    DetectConfigCodec(common, codec, error);  // it succeeded for ReadConfig

    const std::unordered_set<std::string> wanted(places.begin(), places.end());
    const auto theirs = PlacesOf(doc, wanted);
    const auto mine = PlacesOf(own, wanted);
    std::vector<TPut> puts;
    std::unordered_set<std::string> done;
    for (const std::string& place : places) {
        if (!done.insert(place).second)
            continue;
        const auto t = theirs.find(place);
        const auto m = mine.find(place);
        if (t == theirs.end() && m == mine.end())
            continue;  // neither file has it: nothing to keep
        if (t == theirs.end()) {
            kept.Error = Format(_("The common file has no %s to take the device's own value."), place.c_str());
            return kept;
        }
        if (m == mine.end()) {
            kept.Error = Format(_("The device's own configuration has no %s to keep."), place.c_str());
            return kept;
        }
        const std::string& value = m->second.Value;
        if (t->second.Value == value)
            continue;
        if (t->second.Span.Start < 0) {
            kept.Error = Format(_("The common file has no room for a value at %s."), place.c_str());
            return kept;
        }
        TPut put{t->second.Span.Start, t->second.Span.Length, {}};
        if (!EncodeConfigText(codec.Kind, EscapeXml(QString::fromStdString(value), t->second.Attribute), put.Bytes)) {
            kept.Error = Format(_("The value \"%s\" at %s cannot be written in the encoding %s."), value.c_str(),
                                place.c_str(), codec.Name.c_str());
            return kept;
        }
        puts.push_back(std::move(put));
    }
    std::sort(puts.begin(), puts.end(), [](const TPut& a, const TPut& b) { return a.Start < b.Start; });

    // Between the values put back the bytes stay as they were.
    QByteArray out;
    out.reserve(common.size());
    out.append(common.left(codec.BomBytes));
    qsizetype position = 0, byte = codec.BomBytes, copied = codec.BomBytes;
    const QStringView text(doc.Decoded);
    const auto byteAt = [&](qsizetype to) {
        byte += ConfigByteOffset(codec.Kind, text.mid(position, to - position), to - position);
        position = to;
        return byte;
    };
    for (const TPut& put : puts) {
        const qsizetype start = byteAt(put.Start);
        out.append(common.mid(copied, start - copied));
        out.append(put.Bytes);
        copied = byteAt(put.Start + put.Length);
    }
    out.append(common.mid(copied));
    kept.Ok = true;
    kept.Bytes = std::move(out);
    return kept;
}
