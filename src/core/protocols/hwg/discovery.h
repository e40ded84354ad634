// The HWG family's part of a discovery cycle: the broadcast of the info request and the read
// handler that verifies and decodes every answer and hands the device on.
#pragma once
#include "core/devices/devicesink.h"
#include "core/devices/udpserver.h"

#include <string>

// Logs and broadcasts the info request to port 9999 through endpoint.
// address: "255.255.255.255" or a directed broadcast, as dotted text.
void SendHwgInfoRequest(TUDPServer& endpoint, const std::string& address = "255.255.255.255");

// A read handler for the HWG endpoint: every datagram is taken as an info answer, decoded and
// handed to sink (nothing is handed on when sink is empty). The endpoint and peer port are not
// used.
TUDPServer::TReadHandler HwgInfoHandler(TDeviceSink sink);
