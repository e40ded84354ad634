// The Orvex family's part of a discovery cycle: the broadcast of the info request and the read
// handler that decodes every answer and hands the device on.
#pragma once
#include "core/devices/devicesink.h"
#include "core/devices/udpserver.h"

#include <string>

// Logs and broadcasts the info request to port 57739 through endpoint.
// address: "255.255.255.255" or a directed broadcast, as dotted text.
void SendOrvexInfoRequest(TUDPServer& endpoint, const std::string& address = "255.255.255.255");

// A read handler for the Orvex endpoint during discovery: every datagram is taken as an info
// answer, decoded and handed to sink (nothing is handed on when sink is empty). The endpoint and
// peer port are not used.
TUDPServer::TReadHandler OrvexInfoHandler(TDeviceSink sink);
