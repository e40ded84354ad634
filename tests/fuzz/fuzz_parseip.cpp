// ParseIp on any text: failures give FF FF FF FF; a strict success is also accepted, with the same
// bytes, by the forgiving TryParseIp, and formats back to itself.
#include "core/devices/utils.h"
#include "fuzz_common.h"

#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    uint8_t out[4] = {0x5A, 0x5A, 0x5A, 0x5A};
    ParseIp(text, out);
    const uint8_t failed[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    if (std::memcmp(out, failed, 4) == 0)
        return 0;
    uint8_t loose[4] = {};
    FUZZ_CHECK(TryParseIp(text, loose));
    FUZZ_CHECK(std::memcmp(out, loose, 4) == 0);
    uint8_t again[4] = {};
    ParseIp(FormatIp(out), again);
    FUZZ_CHECK(std::memcmp(out, again, 4) == 0);
    return 0;
}
