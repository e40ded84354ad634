// The Orvex family's descriptor: name "Orvex", discovery port 57739, its rules and packets.
#pragma once
#include "core/devices/family.h"

const TFamily& OrvexFamily();
