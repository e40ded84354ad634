// The HWG family's part of a discovery cycle: the broadcast of the info request and the read
// handler that verifies and decodes every answer and hands the device on.
#pragma once
#include "core/devices/devicesink.h"
#include "core/devices/udpserver.h"

// Logs and broadcasts the info request to port 9999 through endpoint.
void SendHwgInfoRequest(TUDPServer& endpoint);

// A read handler for the HWG endpoint: every datagram is taken as an info answer, decoded and
// handed to sink (nothing is handed on when sink is empty). The endpoint and peer port are not
// used.
TUDPServer::TReadHandler HwgInfoHandler(TDeviceSink sink);
