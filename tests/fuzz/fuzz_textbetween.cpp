// TextBetween on any text and markers (the first two bytes give the marker lengths): the result
// is always a piece of the text, and when the start marker is present it follows that marker.
#include "core/devices/utils.h"
#include "fuzz_common.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const std::string input(reinterpret_cast<const char*>(data + 2), size - 2);
    const size_t startLength = std::min<size_t>(data[0] % 8, input.size());
    const size_t endLength = std::min<size_t>(data[1] % 8, input.size() - startLength);
    const std::string start = input.substr(0, startLength);
    const std::string end = input.substr(startLength, endLength);
    const std::string text = input.substr(startLength + endLength);

    const std::string result = TextBetween(text, start, end);
    if (result.empty())
        return 0;
    FUZZ_CHECK(text.find(result) != std::string::npos);
    FUZZ_CHECK(text.find(end) != std::string::npos);
    const size_t at = text.find(start);
    if (at != std::string::npos)
        FUZZ_CHECK(text.compare(at + start.size(), result.size(), result) == 0);
    return 0;
}
