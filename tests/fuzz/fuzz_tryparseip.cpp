// TryParseIp on any text: the output is written only on success, and what it accepts formats back
// to a text that parses to the same bytes.
#include "core/devices/utils.h"
#include "fuzz_common.h"

#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    uint8_t out[4] = {0x5A, 0x5A, 0x5A, 0x5A};
    if (!TryParseIp(text, out)) {
        FUZZ_CHECK(out[0] == 0x5A && out[1] == 0x5A && out[2] == 0x5A && out[3] == 0x5A);
        return 0;
    }
    uint8_t again[4] = {};
    FUZZ_CHECK(TryParseIp(FormatIp(out), again));
    FUZZ_CHECK(std::memcmp(out, again, 4) == 0);
    return 0;
}
