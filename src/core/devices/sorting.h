// The orderings of the five columns of the device list. Each compares device A with
// device B and answers -1 (A first), 1 (B first) or 0 (equal keys), the sign turned round when
// the view sorts descending.
#pragma once
#include "core/devices/product.h"

#include <cstdint>
#include <string>

using TDeviceComparator = int (*)(const TProductInfo& a, const TProductInfo& b, bool ascending);

// Texts are compared locale-aware with letter case counting.
int CompareType(const TProductInfo& a, const TProductInfo& b, bool ascending);
int CompareName(const TProductInfo& a, const TProductInfo& b, bool ascending);
int CompareMac(const TProductInfo& a, const TProductInfo& b, bool ascending);
int CompareRev(const TProductInfo& a, const TProductInfo& b, bool ascending);
// The configured address (IP, not the sender's PeerIP) as inet_addr reads it, first number most
// significant; text that is no address counts as 255.255.255.255, so it sorts last ascending.
int CompareIp(const TProductInfo& a, const TProductInfo& b, bool ascending);

// The address as the sort sees it.
uint32_t IpSortKey(const std::string& text);
