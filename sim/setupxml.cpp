// The simulated devices' configuration file.
#include "setupxml.h"

#include <iconv.h>

#include <cstdio>

namespace sim {

namespace {

std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

// UTF-8 to a one-byte code page; a character the page lacks becomes a character reference (the
// file is text and attribute values only where such characters occur).
std::string FromUtf8(const std::string& text, const std::string& encoding) {
    if (encoding == "UTF-8") return text;
    iconv_t cd = iconv_open(encoding.c_str(), "UTF-8");
    if (cd == iconv_t(-1)) return text;
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        if (i + length > text.size()) length = 1;
        std::string one = text.substr(i, length);
        char buffer[8];
        char* in = one.data();
        size_t inLeft = one.size();
        char* o = buffer;
        size_t outLeft = sizeof buffer;
        if (iconv(cd, &in, &inLeft, &o, &outLeft) != size_t(-1)) {
            out.append(buffer, size_t(o - buffer));
        } else {
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            unsigned code = length == 1 ? lead : lead & (0xFF >> (length + 1));
            for (size_t k = 1; k < length; ++k) code = (code << 6) | (static_cast<unsigned char>(one[k]) & 0x3F);
            out += "&#" + std::to_string(code) + ";";
        }
        i += length;
    }
    iconv_close(cd);
    return out;
}

std::string ToUtf8(const std::string& text, const std::string& encoding) {
    iconv_t cd = iconv_open("UTF-8", encoding.c_str());
    if (cd == iconv_t(-1)) return text;
    std::string input = text, out(text.size() * 4 + 4, '\0');
    char* in = input.data();
    size_t inLeft = input.size();
    char* o = out.data();
    size_t outLeft = out.size();
    const bool ok = iconv(cd, &in, &inLeft, &o, &outLeft) != size_t(-1);
    iconv_close(cd);
    if (!ok) return text;
    out.resize(out.size() - outLeft);
    return out;
}

std::string Unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        const size_t end = text.find(';', i);
        if (end == std::string::npos) {
            out += text.substr(i);
            break;
        }
        const std::string entity = text.substr(i + 1, end - i - 1);
        if (entity == "amp") out += '&';
        else if (entity == "lt") out += '<';
        else if (entity == "gt") out += '>';
        else if (entity == "quot") out += '"';
        else if (entity == "apos") out += '\'';
        else if (!entity.empty() && entity[0] == '#') {
            const unsigned long code = entity.size() > 1 && (entity[1] == 'x' || entity[1] == 'X')
                                           ? std::strtoul(entity.c_str() + 2, nullptr, 16)
                                           : std::strtoul(entity.c_str() + 1, nullptr, 10);
            if (code < 0x80) {
                out += char(code);
            } else if (code < 0x800) {
                out += char(0xC0 | (code >> 6));
                out += char(0x80 | (code & 0x3F));
            } else if (code < 0x10000) {
                out += char(0xE0 | (code >> 12));
                out += char(0x80 | ((code >> 6) & 0x3F));
                out += char(0x80 | (code & 0x3F));
            } else {
                out += char(0xF0 | (code >> 18));
                out += char(0x80 | ((code >> 12) & 0x3F));
                out += char(0x80 | ((code >> 6) & 0x3F));
                out += char(0x80 | (code & 0x3F));
            }
        } else {
            out += text.substr(i, end - i + 1);
        }
        i = end;
    }
    return out;
}

// Where the content of the first element `tag` in `text` lies (between its start and end tags):
// the offsets of its first byte and of the byte after it, if any.
std::optional<std::pair<size_t, size_t>> ContentSpan(const std::string& text, const std::string& tag) {
    size_t at = 0;
    for (;;) {
        at = text.find("<" + tag, at);
        if (at == std::string::npos) return std::nullopt;
        const size_t after = at + 1 + tag.size();
        if (after < text.size() && (text[after] == '>' || text[after] == ' ' || text[after] == '\t' ||
                                    text[after] == '\r' || text[after] == '\n'))
            break;
        at = after;
    }
    const size_t open = text.find('>', at);
    if (open == std::string::npos || text[open - 1] == '/') return std::nullopt;
    const size_t close = text.find("</" + tag, open);
    if (close == std::string::npos) return std::nullopt;
    return std::make_pair(open + 1, close);
}

std::optional<std::string> Content(const std::string& text, const std::string& tag) {
    const auto span = ContentSpan(text, tag);
    if (!span) return std::nullopt;
    return text.substr(span->first, span->second - span->first);
}

std::optional<std::string> Value(const std::string& section, const std::string& tag) {
    auto content = Content(section, tag);
    if (!content) return std::nullopt;
    std::string text = *content;
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return std::string();
    text = text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
    if (text.rfind("<![CDATA[", 0) == 0 && text.size() >= 12 && text.compare(text.size() - 3, 3, "]]>") == 0)
        return text.substr(9, text.size() - 12);
    return Unescape(text);
}

std::string DeclaredEncoding(const std::string& file) {
    if (file.rfind("<?xml", 0) != 0) return "UTF-8";
    const size_t end = file.find("?>");
    const size_t at = file.find("encoding", 0);
    if (at == std::string::npos || at > end) return "UTF-8";
    const size_t quote = file.find_first_of("\"'", at);
    if (quote == std::string::npos || quote > end) return "UTF-8";
    const size_t close = file.find(file[quote], quote + 1);
    return close == std::string::npos ? "UTF-8" : file.substr(quote + 1, close - quote - 1);
}

}  // namespace

std::string GenerateSetupXml(const DeviceConfig& config, const NetSetup& s, const std::string& encoding,
                             bool notWellFormed) {
    const bool hwg = config.family == Family::Hwg;
    std::string x = "<?xml version=\"1.0\" encoding=\"" + encoding + "\"?>\n";
    x += "<!-- Configuration of the device; the web interface writes it back whole. -->\n";
    x += "<setup family=\"" + std::string(hwg ? "HWG" : "Orvex") + "\" type=\"" + std::to_string(config.type) +
         "\" version=\"2\">\n";
    x += "  <device>\n";
    x += "    <name>" + Escape(s.name) + "</name>\n";
    x += "    <mac>" + MacText(config.mac) + "</mac>\n";
    x += "    <location>Budova A, 2. patro – technická místnost</location>\n";
    x += "  </device>\n";
    x += "  <network>\n";
    x += "    <dhcp>" + std::to_string(s.dhcp) + "</dhcp>\n";
    x += "    <ip>" + IpText(s.ip) + "</ip>\n";
    x += "    <mask>" + IpText(s.mask) + "</mask>\n";
    x += "    <gateway>" + IpText(s.gateway) + "</gateway>\n";
    x += "    <dns1>" + IpText(s.dns1) + "</dns1>\n";
    x += "    <dns2>" + IpText(s.dns2) + "</dns2>\n";
    x += "    <http_port>" + std::to_string(s.http_port) + "</http_port>\n";
    x += "    <telnet_port>" + std::to_string(s.telnet_port) + "</telnet_port>\n";
    x += "  </network>\n";
    x += "  <sensors>\n";
    x += "    <sensor id=\"1\" unit=\"°C\" low=\"-10\" high=\"40\"><label>Teplota kotelny</label></sensor>\n";
    x += "    <sensor id=\"2\" unit=\"%\" low=\"20\" high=\"80\"><label>Vlhkost – sklep</label></sensor>\n";
    x += "    <sensor id=\"3\" unit=\"°C\" low=\"5\" high=\"30\"><label>Přívod topení</label></sensor>\n";
    if (!notWellFormed) x += "  </sensors>\n";
    x += "  <snmp enabled=\"1\">\n";
    x += "    <community>public</community>\n";
    x += "    <trap id=\"1\" ip=\"10.77.0.254\" port=\"162\"/>\n";
    x += "    <trap id=\"2\" ip=\"0.0.0.0\" port=\"162\"/>\n";
    x += "  </snmp>\n";
    x += "  <users>\n";
    x += "    <user id=\"1\" name=\"admin\" level=\"admin\"/>\n";
    x += "    <user id=\"2\" name=\"operátor\" level=\"read\"/>\n";
    x += "  </users>\n";
    x += "  <status><counter>0</counter></status>\n";
    x += "</setup>\n";
    return FromUtf8(x, encoding);
}

SetupValues ReadSetupValues(const std::string& bytes) {
    SetupValues values;
    const std::string encoding = DeclaredEncoding(bytes);
    const std::string file = encoding == "UTF-8" || encoding == "utf-8" ? bytes : ToUtf8(bytes, encoding);
    if (const auto device = Content(file, "device")) values.name = Value(*device, "name");
    if (const auto network = Content(file, "network")) {
        values.ip = Value(*network, "ip");
        values.mask = Value(*network, "mask");
        values.gateway = Value(*network, "gateway");
        values.dns1 = Value(*network, "dns1");
        values.dns2 = Value(*network, "dns2");
        values.dhcp = Value(*network, "dhcp");
    }
    return values;
}

std::string WithCounter(const std::string& file, long long value) {
    return WithElementText(file, "counter", std::to_string(value));
}

std::string WithElementText(const std::string& file, const std::string& tag, const std::string& text) {
    const auto span = ContentSpan(file, tag);
    if (!span) return file;
    return file.substr(0, span->first) + FromUtf8(Escape(text), DeclaredEncoding(file)) + file.substr(span->second);
}

}  // namespace sim
