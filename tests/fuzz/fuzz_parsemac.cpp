// ParseMac on any text: only the six output bytes are written, and an accepted address formats
// back to a text that parses to the same bytes.
#include "core/devices/utils.h"
#include "fuzz_common.h"

#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    uint8_t out[8] = {0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A};
    const int result = ParseMac(text, out);
    FUZZ_CHECK(result == 0 || result == -1);
    FUZZ_CHECK(out[6] == 0x5A && out[7] == 0x5A);
    if (result != 0)
        return 0;
    uint8_t again[6] = {};
    FUZZ_CHECK(ParseMac(FormatMac(out), again) == 0);
    FUZZ_CHECK(std::memcmp(out, again, 6) == 0);
    return 0;
}
