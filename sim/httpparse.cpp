// HTTP request pieces for the devices' web server.
#include "httpparse.h"

#include <algorithm>
#include <cstdint>

namespace sim {

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    const size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// The value of parameter key in a header like: form-data; name="x"; filename="y"
std::optional<std::string> HeaderParameter(const std::string& header, const std::string& key) {
    size_t pos = 0;
    while ((pos = header.find(';', pos)) != std::string::npos) {
        ++pos;
        const size_t equals = header.find('=', pos);
        if (equals == std::string::npos) return std::nullopt;
        const std::string name = Lower(Trim(header.substr(pos, equals - pos)));
        size_t valueStart = equals + 1;
        while (valueStart < header.size() && header[valueStart] == ' ') ++valueStart;
        std::string value;
        size_t end;
        if (valueStart < header.size() && header[valueStart] == '"') {
            end = valueStart + 1;
            while (end < header.size() && header[end] != '"') {
                if (header[end] == '\\' && end + 1 < header.size()) ++end;
                value += header[end++];
            }
            if (end >= header.size()) return std::nullopt;  // no closing quote
            ++end;
        } else {
            end = header.find(';', valueStart);
            if (end == std::string::npos) end = header.size();
            value = Trim(header.substr(valueStart, end - valueStart));
        }
        if (name == key) return value;
        pos = end;
    }
    return std::nullopt;
}

}  // namespace

std::optional<HttpHead> ParseHttpHead(const std::string& head, std::string& why) {
    if (head.size() > kMaxHeadBytes) {
        why = "head too long";
        return std::nullopt;
    }
    HttpHead result;
    size_t lineEnd = head.find("\r\n");
    const std::string requestLine = head.substr(0, lineEnd);
    const size_t space1 = requestLine.find(' ');
    const size_t space2 = space1 == std::string::npos ? std::string::npos : requestLine.find(' ', space1 + 1);
    if (space1 == std::string::npos || space2 == std::string::npos || space1 == 0 || space2 == space1 + 1) {
        why = "bad request line";
        return std::nullopt;
    }
    result.method = requestLine.substr(0, space1);
    result.target = requestLine.substr(space1 + 1, space2 - space1 - 1);
    result.version = requestLine.substr(space2 + 1);
    if (result.version.rfind("HTTP/1.", 0) != 0 || result.target[0] != '/') {
        why = "not an HTTP/1 request";
        return std::nullopt;
    }
    result.path = result.target.substr(0, result.target.find('?'));
    while (lineEnd != std::string::npos) {
        const size_t start = lineEnd + 2;
        lineEnd = head.find("\r\n", start);
        const std::string line = head.substr(start, lineEnd == std::string::npos ? std::string::npos : lineEnd - start);
        if (line.empty()) continue;
        const size_t colon = line.find(':');
        if (colon == std::string::npos || colon == 0) {
            why = "bad header line";
            return std::nullopt;
        }
        result.headers[Lower(line.substr(0, colon))] = Trim(line.substr(colon + 1));
    }
    return result;
}

ChunkedStatus DecodeChunked(const std::string& raw, std::string& body, size_t& consumed) {
    body.clear();
    size_t pos = 0;
    for (;;) {
        const size_t lineEnd = raw.find("\r\n", pos);
        if (lineEnd == std::string::npos) return raw.size() - pos > 64 ? ChunkedStatus::Broken : ChunkedStatus::NeedMore;
        size_t chunk = 0;
        size_t digits = 0;
        for (size_t i = pos; i < lineEnd && raw[i] != ';'; ++i, ++digits) {
            const char c = raw[i];
            int value;
            if (c >= '0' && c <= '9') value = c - '0';
            else if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
            else return ChunkedStatus::Broken;
            if (digits >= 8) return ChunkedStatus::Broken;
            chunk = chunk * 16 + size_t(value);
        }
        if (digits == 0) return ChunkedStatus::Broken;
        if (body.size() + chunk > kMaxBodyBytes) return ChunkedStatus::Broken;
        pos = lineEnd + 2;
        if (chunk == 0) {
            // Trailers up to an empty line.
            for (;;) {
                const size_t end = raw.find("\r\n", pos);
                if (end == std::string::npos) return ChunkedStatus::NeedMore;
                const bool empty = end == pos;
                pos = end + 2;
                if (empty) {
                    consumed = pos;
                    return ChunkedStatus::Complete;
                }
            }
        }
        if (raw.size() < pos + chunk + 2) return ChunkedStatus::NeedMore;
        if (raw.compare(pos + chunk, 2, "\r\n") != 0) return ChunkedStatus::Broken;
        body.append(raw, pos, chunk);
        pos += chunk + 2;
    }
}

std::optional<std::vector<FormPart>> ParseMultipart(const std::string& contentType, const std::string& body,
                                                    std::string& why) {
    if (Lower(contentType).rfind("multipart/form-data", 0) != 0) {
        why = "not multipart/form-data";
        return std::nullopt;
    }
    const auto boundary = HeaderParameter(contentType, "boundary");
    if (!boundary || boundary->empty() || boundary->size() > 200) {
        why = "no boundary";
        return std::nullopt;
    }
    const std::string delimiter = "--" + *boundary;
    // The first delimiter starts the body or a line of its own.
    size_t pos = body.rfind(delimiter, 0) == 0 ? 0 : body.find("\r\n" + delimiter);
    if (pos == std::string::npos) {
        why = "no part";
        return std::nullopt;
    }
    if (pos != 0) pos += 2;
    std::vector<FormPart> parts;
    for (;;) {
        pos += delimiter.size();
        if (body.compare(pos, 2, "--") == 0) return parts;  // closing delimiter
        if (body.compare(pos, 2, "\r\n") != 0) {
            why = "bad delimiter line";
            return std::nullopt;
        }
        pos += 2;
        const size_t headEnd = body.find("\r\n\r\n", pos);
        if (headEnd == std::string::npos) {
            why = "part head not closed";
            return std::nullopt;
        }
        FormPart part;
        std::string why2;
        size_t lineStart = pos;
        while (lineStart < headEnd + 2) {
            const size_t lineEnd = body.find("\r\n", lineStart);
            const std::string line = body.substr(lineStart, lineEnd - lineStart);
            lineStart = lineEnd + 2;
            const size_t colon = line.find(':');
            if (colon == std::string::npos) continue;
            const std::string name = Lower(Trim(line.substr(0, colon)));
            const std::string value = Trim(line.substr(colon + 1));
            if (name == "content-disposition") {
                part.name = HeaderParameter(value, "name").value_or("");
                part.fileName = HeaderParameter(value, "filename").value_or("");
            } else if (name == "content-type") {
                part.contentType = value;
            }
        }
        const size_t dataStart = headEnd + 4;
        const size_t next = body.find("\r\n" + delimiter, dataStart);
        if (next == std::string::npos) {
            why = "part not closed";
            return std::nullopt;
        }
        part.data = body.substr(dataStart, next - dataStart);
        parts.push_back(std::move(part));
        pos = next + 2;
    }
}

std::optional<std::string> Base64Decode(const std::string& text) {
    std::string out;
    uint32_t buffer = 0;
    int bits = 0;
    size_t padding = 0;
    for (char c : text) {
        int value;
        if (c >= 'A' && c <= 'Z') value = c - 'A';
        else if (c >= 'a' && c <= 'z') value = c - 'a' + 26;
        else if (c >= '0' && c <= '9') value = c - '0' + 52;
        else if (c == '+') value = 62;
        else if (c == '/') value = 63;
        else if (c == '=') {
            ++padding;
            continue;
        } else return std::nullopt;
        if (padding) return std::nullopt;  // data after padding
        buffer = (buffer << 6) | uint32_t(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += char((buffer >> bits) & 0xFF);
        }
    }
    if (padding > 2 || (text.size() % 4) != 0) return std::nullopt;
    return out;
}

std::optional<std::pair<std::string, std::string>> ParseBasicAuth(const std::string& header) {
    if (header.size() < 6 || Lower(header.substr(0, 6)) != "basic ") return std::nullopt;
    const auto decoded = Base64Decode(Trim(header.substr(6)));
    if (!decoded) return std::nullopt;
    const size_t colon = decoded->find(':');
    if (colon == std::string::npos) return std::nullopt;
    return std::make_pair(decoded->substr(0, colon), decoded->substr(colon + 1));
}

uint32_t Crc32(const std::string& data) {
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : data) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

}  // namespace sim
