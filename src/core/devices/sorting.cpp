// Column orderings of the device list.
#include "core/devices/sorting.h"

#include <arpa/inet.h>

#include <QString>

namespace {

int Directed(int order, bool ascending)
{
    if (order == 0)
        return 0;
    const int aFirst = ascending ? -1 : 1;
    return order < 0 ? aFirst : -aFirst;
}

int CompareText(const std::string& a, const std::string& b, bool ascending)
{
    return Directed(QString::localeAwareCompare(QString::fromStdString(a), QString::fromStdString(b)), ascending);
}

} // namespace

int CompareType(const TProductInfo& a, const TProductInfo& b, bool ascending)
{
    return CompareText(a.TypeName, b.TypeName, ascending);
}

int CompareName(const TProductInfo& a, const TProductInfo& b, bool ascending)
{
    return CompareText(a.Name, b.Name, ascending);
}

int CompareMac(const TProductInfo& a, const TProductInfo& b, bool ascending)
{
    return CompareText(a.MAC, b.MAC, ascending);
}

int CompareRev(const TProductInfo& a, const TProductInfo& b, bool ascending)
{
    return CompareText(a.FirmwareRev, b.FirmwareRev, ascending);
}

uint32_t IpSortKey(const std::string& text)
{
    // inet_addr answers INADDR_NONE (all ones) for text it cannot read, which is exactly the
    // place such devices take: after every real address.
    return ntohl(inet_addr(text.c_str()));
}

int CompareIp(const TProductInfo& a, const TProductInfo& b, bool ascending)
{
    const uint32_t ka = IpSortKey(a.IP);
    const uint32_t kb = IpSortKey(b.IP);
    return Directed(ka < kb ? -1 : (ka > kb ? 1 : 0), ascending);
}
