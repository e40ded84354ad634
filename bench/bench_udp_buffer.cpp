// udp_receive_buffer: the receive buffer the kernel grants an endpoint (it holds a burst of
// answers of about 832 bytes each). Opens a socket only; sends nothing.
#include "core/devices/udpserver.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    TUDPServer server;
    if (!server.IsOpen()) {
        std::fprintf(stderr, "bench_udp_buffer: %s\n", server.OpenError().c_str());
        return 1;
    }
    std::printf("udp_receive_buffer %d bytes\n", server.ReceiveBufferBytes());
    std::printf("udp_receive_buffer_answers %d answers\n", server.ReceiveBufferBytes() / 832);
    return 0;
}
