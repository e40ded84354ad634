// Pieces of HTTP the devices' web server reads: the request head, chunked bodies, multipart
// form data and Basic credentials. Each states its limits and fails as a value.
#pragma once
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sim {

inline constexpr size_t kMaxHeadBytes = 16 * 1024;
inline constexpr size_t kMaxBodyBytes = 64 * 1024 * 1024;

struct HttpHead {
    std::string method, target, path, version;  // path: target without the query
    std::map<std::string, std::string> headers;   // names in lower case; a repeated name keeps the last
};

// The head is everything before the blank line (without it).
std::optional<HttpHead> ParseHttpHead(const std::string& head, std::string& why);

// Decodes a complete chunked body; nothing when it is broken or longer than kMaxBodyBytes.
// consumed tells how many bytes the chunked encoding took (trailers included).
enum class ChunkedStatus { Complete, NeedMore, Broken };
ChunkedStatus DecodeChunked(const std::string& raw, std::string& body, size_t& consumed);

struct FormPart {
    std::string name, fileName, contentType, data;
};
// Parts of a multipart/form-data body; contentType is the request's Content-Type header.
std::optional<std::vector<FormPart>> ParseMultipart(const std::string& contentType, const std::string& body,
                                                    std::string& why);

// "Basic dXNlcjpwYXNz" -> user, password. Nothing when the header is not Basic or not valid.
std::optional<std::pair<std::string, std::string>> ParseBasicAuth(const std::string& header);

std::optional<std::string> Base64Decode(const std::string& text);

uint32_t Crc32(const std::string& data);

}  // namespace sim
