// The Orvex family's part of a discovery cycle: the broadcast of the info request and the read
// handler that decodes every answer and hands the device on.
#pragma once
#include "core/devices/devicesink.h"
#include "core/devices/udpserver.h"

// Logs and broadcasts the info request to port 57739 through endpoint.
void SendOrvexInfoRequest(TUDPServer& endpoint);

// A read handler for the Orvex endpoint during discovery: every datagram is taken as an info
// answer, decoded and handed to sink (nothing is handed on when sink is empty). The endpoint and
// peer port are not used.
TUDPServer::TReadHandler OrvexInfoHandler(TDeviceSink sink);
