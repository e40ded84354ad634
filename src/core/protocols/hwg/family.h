// The HWG family's descriptor: name "HWG", discovery port 9999, its rules and packets.
#pragma once
#include "core/devices/family.h"

const TFamily& HwgFamily();
