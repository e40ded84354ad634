// TProductHwg: a device of the HWG family, with the commands sent over the HWG protocol.
#pragma once
#include "core/devices/product.h"

#include <cstdint>
#include <vector>

class TProductHwg : public TProduct {
public:
    // Both commands are the stored answer's header rewritten and signed (see commands.h).
    void Update() override;
    void FactoryDefault() override;
    void Restart() override;  // HWG devices cannot be restarted: does nothing
    const TFamily& Family() const override;

    // The device's whole answer datagram; its first 48 bytes are the base of every command.
    std::vector<uint8_t> AnswerPacket;
};
