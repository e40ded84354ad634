// TProductOrvex: a device of the Orvex family, with the commands sent over the Orvex protocol.
#pragma once
#include "core/devices/product.h"

class TProductOrvex : public TProduct {
public:
    // Each command installs its answer handler on UdpServer, then builds and sends its request
    // (see commands.h). None waits for the answer; the answer's error code goes to
    // OnCommandAnswer.
    void Update() override;
    void FactoryDefault() override;
    void Restart() override;
    const TFamily& Family() const override;
};
