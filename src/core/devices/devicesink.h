// What a family's answer handler hands each decoded device to. The discovery driver makes one
// that files into the registry; the family code knows nothing of the registry.
#pragma once
#include "core/devices/product.h"

#include <functional>
#include <memory>

using TDeviceSink = std::function<void(std::unique_ptr<TProduct> device)>;
